#pragma once

#include <memory>

#include "common/failure_detail.h"
#include "common/fixed_text.h"
#include "common/types.h"
#include "link/wire_trace.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "ui/front_end.h"

namespace vorlanth {

// Exit codes a calling tool can act on.
namespace exit_code {
inline constexpr int kSuccess = 0;  // the upload succeeded, or the user left with Exit
inline constexpr int kUploadFailed = 1;
inline constexpr int kCommandLineError = 2;
inline constexpr int kFileOpenFailed = 3;
inline constexpr int kLinkOpenFailed = 4;
inline constexpr int kFileNotValid = 5;  // the last attempt ended on a format error
// A run ended by a signal exits with this plus the signal's number: 129 SIGHUP, 130 SIGINT,
// 143 SIGTERM, as a shell reports a program the signal killed.
inline constexpr int kStoppedBySignal = 128;
}  // namespace exit_code

// The session record: every state record of a run, and the services it runs on.
// It is passed by reference; there are no mutable globals.
struct Session {
    Session(platform::Platform& platformRef, ui::FrontEnd& frontEndRef)
        : platform(platformRef), frontEnd(frontEndRef) {}

    platform::Platform& platform;
    ui::FrontEnd& frontEnd;
    link::WireObserver* wireObserver = nullptr;

    // Whole run.
    UploadSettings settings;
    int checksumMode = 0;
    FixedText<255> programDirectory;
    FixedText<255> settingsPath;
    int exitCode = exit_code::kSuccess;

    // One pass.
    LinkState link;
    TransmitBuffer transmitBuffer{};
    ResponseLine responseLine;
    std::unique_ptr<platform::ReadableFile> programFile;
    std::unique_ptr<platform::ReadableFile> companionFile;
    FixedText<259> companionName;
    bool dialogReady = false;
    // Why the last failed operation of this pass failed; cleared with the pass and at the
    // start of every attempt.
    FailureDetail failure;
};

}  // namespace vorlanth
