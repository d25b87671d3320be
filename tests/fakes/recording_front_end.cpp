#include "tests/fakes/recording_front_end.h"

namespace vorlanth::fakes {

Answer RecordingFrontEnd::showMessageBox(const MessageBoxRequest& request) {
    messages.push_back(request);
    if (request.buttons != MessageButtons::YesNo) {
        return Answer::Ok;
    }
    if (questionAnswers.empty()) {
        return Answer::No;
    }
    const Answer answer = questionAnswers.front();
    questionAnswers.pop_front();
    return answer;
}

bool RecordingFrontEnd::openProgressWindow() {
    if (progressWindowFails) {
        return false;
    }
    ++progressOpened;
    return true;
}

bool RecordingFrontEnd::openEraseWindow() {
    if (eraseWindowFails) {
        return false;
    }
    ++eraseOpened;
    return true;
}

int RecordingFrontEnd::runSettingsDialog(Session& session) {
    ++dialogRuns;
    if (dialogScript.empty()) {
        return 2;
    }
    auto step = std::move(dialogScript.front());
    dialogScript.pop_front();
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
