#include "ui/console/console_front_end.h"

#include <iostream>

namespace vorlanth::ui::console {

ConsoleFrontEnd::ConsoleFrontEnd(std::FILE* errorStream, bool inputIsTerminal, bool errorIsTerminal)
    : error_(errorStream), inputIsTerminal_(inputIsTerminal), errorIsTerminal_(errorIsTerminal) {}

bool ConsoleFrontEnd::readAnswerLine(std::string& line) {
    if (!std::getline(std::cin, line)) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

int ConsoleFrontEnd::showMessageBox(const MessageBoxRequest& request) {
    std::fprintf(error_, "vorlanth: %s", request.text.c_str());
    if (request.buttons != MessageButtons::YesNo) {
        std::fprintf(error_, "\n");
        std::fflush(error_);
        return kAnswerOk;
    }
    // A question is asked only of a person at a terminal; a script gets No.
    if (!inputIsTerminal_) {
        std::fprintf(error_, " [y/N] n (no terminal)\n");
        std::fflush(error_);
        return kAnswerNo;
    }
    std::fprintf(error_, " [y/N] ");
    std::fflush(error_);
    std::string answer;
    if (!readAnswerLine(answer)) {
        std::fprintf(error_, "\n");
        return kAnswerNo;
    }
    const bool yes = !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
    return yes ? kAnswerYes : kAnswerNo;
}

bool ConsoleFrontEnd::openProgressWindow() {
    lastPercent_ = -1;
    setProgress(0);
    return true;
}

void ConsoleFrontEnd::setProgress(int percent) {
    if (percent == lastPercent_) {
        return;
    }
    lastPercent_ = percent;
    if (errorIsTerminal_) {
        std::fprintf(error_, "\rDownloading... %3d%%", percent);
    } else if (percent % 10 == 0 || percent == 100) {
        std::fprintf(error_, "Downloading... %d%%\n", percent);
    }
    std::fflush(error_);
}

void ConsoleFrontEnd::closeProgressWindow() {
    if (errorIsTerminal_ && lastPercent_ >= 0) {
        std::fprintf(error_, "\n");
        std::fflush(error_);
    }
    lastPercent_ = -1;
}

bool ConsoleFrontEnd::openEraseWindow() {
    std::fprintf(error_, "Erasing flash memory...\n");
    std::fflush(error_);
    return true;
}

void ConsoleFrontEnd::closeEraseWindow() {}

int ConsoleFrontEnd::runSettingsDialog(Session& /*session*/) {
    std::fprintf(error_,
                 "vorlanth: Interactive mode needs the settings form, which this build does not "
                 "have; give all six fields with execution mode 1.\n");
    std::fflush(error_);
    return 2;
}

std::optional<BrowseResult> ConsoleFrontEnd::browseForFile(const BrowseRequest& /*request*/) {
    return std::nullopt;
}

}  // namespace vorlanth::ui::console
