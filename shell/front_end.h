// The front end the core talks to, named by what each call means: tell a message, ask whether
// to retry, show the erase, begin / advance / end progress, stay responsive during a long send,
// run the settings form, browse for a file, warn. Each front end draws these its own way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure_detail.h"
#include "common/message_table.h"
#include "protocol/handshake.h"
#include "settings/settings_file.h"
#include "shell/program_digest.h"

namespace vorlanth {

struct Session;

// How the settings form ended: OK (the pass goes on to upload) or Exit (the run ends).
enum class SettingsOutcome { Upload, Exit };

struct FileFilter {
    std::string name;
    std::string pattern;
};

// What the file browser offers: the filters (the current one counted from 1), the name it
// starts with, the extension a name typed without one gets, and the longest path taken.
struct BrowseRequest {
    std::vector<FileFilter> filters;
    int filterIndex = 1;  // counted from 1
    std::string initialName;
    std::string defaultExtension;
    std::size_t maxPathLength = 255;
};

struct BrowseResult {
    std::string path;
    int filterIndex = 1;  // the filter selected when the browser ended, counted from 1
};

// Milestones of an upload attempt, for front ends that report more than the progress shows.
enum class UploadEvent {
    HandshakeStarted,
    HandshakeSucceeded,
    HandshakeFailed,
    EraseStarted,
    EraseSucceeded,
    EraseFailed,
    TransferStarted,
    TransferFinished,  // every record or block went over
    TransferFailed,    // the terminal refused or did not answer, the line was lost, or the
                       // file could not be read to its end (or changed while it was sent)
};

// What the core asks of a front end. The erase step and the settings file see only their
// narrow part of it (EraseIndicator: show and end the erase; WarningSink: warn).
class FrontEnd : public protocol::EraseIndicator, public settings::WarningSink {
  public:
    virtual ~FrontEnd() = default;

    // Gets ready for the passes of a run; called once, before the first.
    virtual void prepare() {}

    // Tells the person a message of the table. detail says why, when known: a console or a
    // script says it; the desktop's boxes keep the table's text.
    virtual void tell(MessageId message, const FailureDetail& detail) = 0;
    // Asks the person the retry question after a failed upload; why says what failed. True
    // when the person wants it tried again.
    virtual bool askRetry(const FailureDetail& why) = 0;
    // Says that a failed upload is (or is not) tried again as the run's retry policy decided,
    // without asking anyone. A front end that shows nothing of it need not override this.
    virtual void retryDecided(bool /*retrying*/, const FailureDetail& /*why*/) {}

    // The progress of the transfer, at 0 when it begins; false when it cannot be shown (the
    // attempt then fails).
    virtual bool beginProgress() = 0;
    // The program file's bytes consumed of total, and the position (0..100) when it moved.
    virtual void advanceProgress(std::uint64_t consumed, std::uint64_t total,
                                 std::optional<int> percent) = 0;
    virtual void endProgress() = 0;
    // Called after each chunk of a long send, so that the front end keeps answering its user.
    virtual void stayResponsive() {}

    // Runs the settings form over the session's settings.
    virtual SettingsOutcome runSettingsForm(Session& session) = 0;
    // Lets the person choose a program file; nothing when cancelled or not possible.
    virtual std::optional<BrowseResult> browseForFile(const BrowseRequest& request) = 0;

    virtual void onUploadEvent(UploadEvent /*event*/) {}
    // The check pass of an attempt has read the program (and a BASIC program's companion) and
    // taken their SHA-256, before anything is sent; a digest is missing when its file could not
    // be read to its end.
    virtual void programChecked(const shell::ProgramDigests& /*digests*/) {}
};

}  // namespace vorlanth
