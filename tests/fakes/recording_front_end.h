// A front end for tests: records every call of the core, with each message as the message
// table shows it, and answers the retry question and the settings form from a script.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "shell/front_end.h"

namespace vorlanth::fakes {

// A message told (or the retry question asked or decided), with its table entry's look.
struct ToldMessage {
    MessageId id;
    std::string text;
    std::optional<std::string> caption;  // nothing: the platform's default caption
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    MessageOwner owner = MessageOwner::None;
    bool topmost = false;
    int code = 0;
    FailureDetail detail;
};

class RecordingFrontEnd : public FrontEnd {
  public:
    void prepare() override { ++prepared; }
    void tell(MessageId message, const FailureDetail& detail) override;
    bool askRetry(const FailureDetail& why) override;
    void retryDecided(bool retrying, const FailureDetail& why) override;
    bool beginProgress() override;
    void advanceProgress(std::uint64_t consumed, std::uint64_t total,
                         std::optional<int> percent) override;
    void endProgress() override { ++progressEnded; }
    void stayResponsive() override { ++responsiveCalls; }
    bool showErase() override;
    void endErase() override { ++eraseEnded; }
    SettingsOutcome runSettingsForm(Session& session) override;
    std::optional<BrowseResult> browseForFile(const BrowseRequest& request) override;
    void onUploadEvent(UploadEvent event) override { events.push_back(event); }
    void warn(std::string_view summary, const FailureDetail& detail) override {
        warnings.push_back({std::string(summary), detail});
    }
    void programChecked(const shell::ProgramDigests& digests) override {
        checked.push_back(digests);
    }

    // Texts of the messages told and the questions asked, in order.
    std::vector<std::string> texts() const;

    std::vector<ToldMessage> messages;
    std::deque<bool> retryAnswers;  // answers to the retry question; No when empty
    std::vector<bool> retryDecisions;
    std::vector<int> progress;         // every position set
    std::vector<std::uint64_t> bytes;  // the bytes consumed at every progress point
    std::vector<UploadEvent> events;
    struct Warning {
        std::string summary;
        FailureDetail detail;
    };
    std::vector<Warning> warnings;
    std::vector<shell::ProgramDigests> checked;  // the digests of every check pass
    bool progressFails = false;
    bool eraseFails = false;
    int progressBegun = 0;
    int progressEnded = 0;
    int responsiveCalls = 0;
    int eraseShown = 0;
    int eraseEnded = 0;
    int prepared = 0;
    // Each form run takes the next script entry; Exit when none is left.
    std::deque<std::function<SettingsOutcome(Session&)>> formScript;
    int formRuns = 0;
    std::deque<std::optional<BrowseResult>> browseAnswers;
    std::vector<BrowseRequest> browseRequests;

  private:
    void record(MessageId message, const FailureDetail& detail);
};

}  // namespace vorlanth::fakes
