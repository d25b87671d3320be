#include "tests/fakes/recording_front_end.h"

namespace vorlanth::fakes {

int RecordingFrontEnd::showMessageBox(const ui::MessageBoxRequest& request) {
    messages.push_back(request);
    if (request.buttons != ui::MessageButtons::YesNo) {
        return ui::kAnswerOk;
    }
    if (questionAnswers.empty()) {
        return ui::kAnswerNo;
    }
    const int answer = questionAnswers.front();
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

std::optional<ui::BrowseResult> RecordingFrontEnd::browseForFile(const ui::BrowseRequest& request) {
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
