// The session record of a run (settings, link, files, buffers, the front end) and the exit codes
// a calling tool can act on.
#pragma once

#include <memory>
#include <optional>

#include "common/failure_detail.h"
#include "common/fixed_text.h"
#include "common/types.h"
#include "link/link.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "settings/settings_file.h"
#include "shell/front_end.h"

namespace vorlanth {

// Exit codes a calling tool can act on.
namespace exit_code {
inline constexpr int kSuccess = 0;  // the upload succeeded, or the user left with Exit
inline constexpr int kUploadFailed = 1;
inline constexpr int kCommandLineError = 2;
inline constexpr int kFileOpenFailed = 3;
inline constexpr int kLinkOpenFailed = 4;
// The last attempt ended on a format error, or on a program whose SHA-256 is not the expected.
inline constexpr int kFileNotValid = 5;
// A run ended by a signal exits with this plus the signal's number: 129 SIGHUP, 130 SIGINT,
// 143 SIGTERM, as a shell reports a program the signal killed.
inline constexpr int kStoppedBySignal = 128;
// The exit code of a run that the given signal stopped; the one place it is computed.
constexpr int stoppedBySignal(int signal) {
    return kStoppedBySignal + signal;
}
}  // namespace exit_code

// The session record: every state record of a run, and the services it runs on. The
// settings, the paths and the platform are its settings-file part (SettingsRecord), which the
// settings file works on alone. It is passed by reference; there are no mutable globals.
struct Session : settings::SettingsRecord {
    Session(platform::Platform& platformRef, FrontEnd& frontEndRef)
        : SettingsRecord(platformRef, frontEndRef), frontEnd(frontEndRef) {}

    FrontEnd& frontEnd;
    vorlanth::link::WireObserver* wireObserver = nullptr;

    // Whole run.
    int checksumMode = 0;
    int exitCode = exit_code::kSuccess;
    // The SHA-256 every program file of the run must have; a program with another is refused
    // by the check pass, before anything is sent.
    std::optional<platform::Sha256Digest> expectedSha256{};

    // One pass.
    vorlanth::link::LinkState link;
    TransmitBuffer transmitBuffer{};
    ResponseLine responseLine;
    std::unique_ptr<platform::ReadableFile> programFile;
    std::unique_ptr<platform::ReadableFile> companionFile;
    FixedText<259> companionName;
    bool settingsFormReady = false;
    // Why the last failed operation of this pass failed; cleared with the pass and at the
    // start of every attempt.
    FailureDetail failure;
};

// The link view over a session's records and services; failures are told to the session,
// warnings to its front end.
link::Link linkOf(Session& session);

}  // namespace vorlanth
