#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "shell/front_end.h"

namespace vorlanth::fakes {

// A front end that records what the core asked of it and answers from a script.
class RecordingFrontEnd : public FrontEnd {
  public:
    WindowHandle activeWindow() override { return activeWindowHandle; }
    Answer showMessageBox(const MessageBoxRequest& request) override;
    void initCommonControls() override { ++commonControlsInitialised; }
    bool openProgressWindow() override;
    void setProgress(int percent) override { progress.push_back(percent); }
    void closeProgressWindow() override { ++progressClosed; }
    void pumpOneMessage() override { ++pumps; }
    bool openEraseWindow() override;
    void closeEraseWindow() override { ++eraseClosed; }
    int runSettingsDialog(Session& session) override;
    std::optional<BrowseResult> browseForFile(const BrowseRequest& request) override;
    void onUploadEvent(UploadEvent event) override { events.push_back(event); }
    void warn(std::string_view summary, const FailureDetail& detail) override {
        warnings.push_back({std::string(summary), detail});
    }

    // Texts of the messages shown, in order.
    std::vector<std::string> texts() const;

    WindowHandle activeWindowHandle = 0x1234;
    std::vector<MessageBoxRequest> messages;
    std::deque<Answer> questionAnswers;  // answers to Yes/No questions; No when empty
    std::vector<int> progress;
    std::vector<UploadEvent> events;
    struct Warning {
        std::string summary;
        FailureDetail detail;
    };
    std::vector<Warning> warnings;
    bool progressWindowFails = false;
    bool eraseWindowFails = false;
    int progressOpened = 0;
    int progressClosed = 0;
    int pumps = 0;
    int eraseOpened = 0;
    int eraseClosed = 0;
    int commonControlsInitialised = 0;
    // Each dialog run takes the next script entry; Exit (2) when none is left.
    std::deque<std::function<int(Session&)>> dialogScript;
    int dialogRuns = 0;
    std::deque<std::optional<BrowseResult>> browseAnswers;
    std::vector<BrowseRequest> browseRequests;
};

}  // namespace vorlanth::fakes
