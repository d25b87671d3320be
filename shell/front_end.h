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

namespace vorlanth {

struct Session;

// An opaque window handle; 0 stands for no window.
using WindowHandle = std::uintptr_t;

// The answer a message box was closed with; None when it could not be shown.
enum class Answer { None, Ok, Yes, No };

struct MessageBoxRequest {
    WindowHandle owner = 0;
    std::string text;
    // Nothing: the platform's default caption.
    std::optional<std::string> caption;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    bool topmost = false;
    // The result code the message stands for, or 0 (command-line errors, format errors).
    int code = 0;
    // Why, when known: a console or a script shows it; a message box never does.
    FailureDetail detail;
};

struct FileFilter {
    std::string name;
    std::string pattern;
};

struct BrowseRequest {
    WindowHandle owner = 0;
    std::vector<FileFilter> filters;
    int filterIndex = 1;  // counted from 1
    std::string initialName;
    std::string defaultExtension;
    std::size_t maxPathLength = 255;
};

struct BrowseResult {
    std::string path;
    int filterIndex = 1;  // the filter selected when the dialog ended, counted from 1
};

// Milestones of an upload attempt, for front ends that report more than windows show.
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

// What the core asks of a front end: message boxes, the progress and erase windows, the
// settings dialog and the file browser. Each front end draws these its own way. The erase
// step and the settings file see only their narrow part of it (EraseIndicator, WarningSink).
class FrontEnd : public protocol::EraseIndicator, public settings::WarningSink {
  public:
    virtual ~FrontEnd() = default;

    // The window active at this moment (the owner of most message boxes).
    virtual WindowHandle activeWindow() = 0;
    // Shows a message box and returns the answer; Answer::None when it failed.
    virtual Answer showMessageBox(const MessageBoxRequest& request) = 0;

    // Initialises the platform's common controls once per run.
    virtual void initCommonControls() {}

    // Creates the progress window with its bar at 0; false when window or bar is missing.
    virtual bool openProgressWindow() = 0;
    virtual void setProgress(int percent) = 0;
    // Bytes of the program file consumed so far, next to each position set.
    virtual void reportBytes(std::uint64_t /*consumed*/, std::uint64_t /*total*/) {}
    virtual void closeProgressWindow() = 0;
    // Handles at most one waiting window message, then yields the rest of the time slice.
    virtual void pumpOneMessage() = 0;

    // Runs the settings dialog over the session's settings; 1 for OK, 2 for Exit.
    virtual int runSettingsDialog(Session& session) = 0;
    // Runs the open-file dialog; nothing when the user cancelled or it failed.
    virtual std::optional<BrowseResult> browseForFile(const BrowseRequest& request) = 0;

    virtual void onUploadEvent(UploadEvent /*event*/) {}
};

}  // namespace vorlanth
