// The recording front end's calls: each noted, with the message table's look of each message.
#include "tests/fakes/recording_front_end.h"

namespace vorlanth::fakes {

void RecordingFrontEnd::record(MessageId message, const FailureDetail& detail) {
    ToldMessage told;
    told.id = message;
    if (const std::optional<MessageEntry> entry = findMessage(message)) {
        told.text = std::string(entry->text);
        if (!entry->caption.empty()) {
            told.caption = std::string(entry->caption);
        }
        told.icon = entry->icon;
        told.buttons = entry->buttons;
        told.owner = entry->owner;
        told.topmost = entry->topmost;
        told.code = entry->code();
    }
    told.detail = detail;
    messages.push_back(std::move(told));
}

void RecordingFrontEnd::tell(MessageId message, const FailureDetail& detail) {
    record(message, detail);
}

bool RecordingFrontEnd::askRetry(const FailureDetail& why) {
    record(MessageId::retryQuestion(), why);
    if (retryAnswers.empty()) {
        return false;
    }
    const bool answer = retryAnswers.front();
    retryAnswers.pop_front();
    return answer;
}

void RecordingFrontEnd::retryDecided(bool retrying, const FailureDetail& why) {
    record(MessageId::retryQuestion(), why);
    retryDecisions.push_back(retrying);
}

bool RecordingFrontEnd::beginProgress() {
    if (progressFails) {
        return false;
    }
    ++progressBegun;
    return true;
}

void RecordingFrontEnd::advanceProgress(std::uint64_t consumed, std::uint64_t /*total*/,
                                        std::optional<int> percent) {
    bytes.push_back(consumed);
    if (percent) {
        progress.push_back(*percent);
    }
}

bool RecordingFrontEnd::showErase() {
    if (eraseFails) {
        return false;
    }
    ++eraseShown;
    return true;
}

SettingsOutcome RecordingFrontEnd::runSettingsForm(Session& session) {
    ++formRuns;
    if (formScript.empty()) {
        return SettingsOutcome::Exit;
    }
    auto step = std::move(formScript.front());
    formScript.pop_front();
    return step(session);
}

std::optional<BrowseResult> RecordingFrontEnd::browseForFile(const BrowseRequest& request) {
    browseRequests.push_back(request);
    if (browseAnswers.empty()) {
        return std::nullopt;
    }
    auto answer = browseAnswers.front();
    browseAnswers.pop_front();
    return answer;
}

std::vector<std::string> RecordingFrontEnd::texts() const {
    std::vector<std::string> result;
    for (const auto& message : messages) {
        result.push_back(message.text);
    }
    return result;
}

}  // namespace vorlanth::fakes
