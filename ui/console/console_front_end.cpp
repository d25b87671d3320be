// The console front end: what each call of the core prints on stderr, and the JSON events.
#include "ui/console/console_front_end.h"

#include "dialog/main_dialog.h"
#include "platform/terminal.h"
#include "shell/session.h"
#include "ui/console/options.h"
#include "ui/console/settings_form.h"

namespace vorlanth::ui::console {

ConsoleFrontEnd::ConsoleFrontEnd(std::FILE* errorStream, bool inputIsTerminal, bool errorIsTerminal,
                                 platform::Clock& clock, JsonEventWriter* json)
    : error_(errorStream),
      inputIsTerminal_(inputIsTerminal),
      errorIsTerminal_(errorIsTerminal),
      progress_(errorStream, errorIsTerminal, clock),
      json_(json) {}

// A stop request ends the wait for an answer like the end of input does.
bool ConsoleFrontEnd::readAnswerLine(std::string& line) {
    return platform::readStandardInputLine(line);
}

// The cause, when known, on a line of its own under the message or before the question; a
// question does not repeat the cause its failure's own message has just shown.
void ConsoleFrontEnd::printDetail(const FailureDetail& detail, bool question) {
    const std::string text = detail.empty() ? std::string() : describeFailure(detail);
    const bool repeated = question && text == lastDetail_;
    lastDetail_ = question ? std::string() : text;
    if (text.empty() || repeated) {
        return;
    }
    std::fprintf(error_, "vorlanth: %s\n", text.c_str());
    if (!detail.hint.empty()) {
        std::fprintf(error_, "vorlanth: %s\n", detail.hint.c_str());
    }
}

void ConsoleFrontEnd::tell(MessageId message, const FailureDetail& detail) {
    const std::optional<MessageEntry> entry = findMessage(message);
    if (!entry) {
        return;
    }
    std::fprintf(error_, "vorlanth: %.*s\n", static_cast<int>(entry->text.size()),
                 entry->text.data());
    printDetail(detail, false);
    std::fflush(error_);
    if (json_ != nullptr) {
        json_->message(message, detail);
    }
}

// A question is asked only of a person at a terminal; a script gets No.
bool ConsoleFrontEnd::askRetry(const FailureDetail& why) {
    printDetail(why, true);
    const std::string_view question = findMessage(MessageId::retryQuestion())->text;
    std::fprintf(error_, "vorlanth: %.*s", static_cast<int>(question.size()), question.data());
    bool retry = false;
    if (!inputIsTerminal_) {
        std::fprintf(error_, " [y/N] n (no terminal)\n");
    } else {
        std::fprintf(error_, " [y/N] ");
        std::fflush(error_);
        std::string line;
        if (!readAnswerLine(line)) {
            std::fprintf(error_, "\n");
        } else {
            retry = !line.empty() && (line[0] == 'y' || line[0] == 'Y');
        }
    }
    std::fflush(error_);
    if (json_ != nullptr) {
        json_->retryQuestion(retry, why);
    }
    return retry;
}

bool ConsoleFrontEnd::beginProgress() {
    consumed_ = 0;
    total_ = 0;
    progress_.begin();
    return true;
}

// The bytes first, so that the line shows them with the position.
void ConsoleFrontEnd::advanceProgress(std::uint64_t consumed, std::uint64_t total,
                                      std::optional<int> percent) {
    consumed_ = consumed;
    total_ = total;
    progress_.bytes(consumed, total);
    if (percent) {
        progress_.update(*percent);
        if (json_ != nullptr) {
            json_->progress(*percent, consumed_, total_);
        }
    }
}

void ConsoleFrontEnd::endProgress() {
    // An S-record file's last chunk holds its end, so its reader never sets 100: show the
    // whole file as sent when the driver says it was.
    if (total_ > 0 && consumed_ >= total_) {
        progress_.update(100);
    }
    progress_.end();
}

bool ConsoleFrontEnd::showErase() {
    progress_.eraseBegin();
    return true;
}

void ConsoleFrontEnd::endErase() {
    progress_.eraseEnd();
}

void ConsoleFrontEnd::onUploadEvent(UploadEvent event) {
    if (json_ != nullptr) {
        json_->uploadEvent(event);
    }
}

// The digests go out with the start event (--json); the plain lines do not show them.
void ConsoleFrontEnd::programChecked(const shell::ProgramDigests& digests) {
    if (json_ != nullptr) {
        json_->programChecked(digests);
    }
}

void ConsoleFrontEnd::warn(std::string_view summary, const FailureDetail& detail) {
    const std::string cause = describeFailure(detail);
    std::fprintf(error_, "vorlanth: %.*s%s%s\n", static_cast<int>(summary.size()), summary.data(),
                 cause.empty() ? "" : ": ", cause.c_str());
    std::fflush(error_);
    if (json_ != nullptr) {
        json_->warning(summary, detail);
    }
}

void ConsoleFrontEnd::reportStop(std::string_view signalName) {
    progress_.end();
    std::fprintf(error_, "vorlanth: stopped by %.*s\n", static_cast<int>(signalName.size()),
                 signalName.data());
    std::fflush(error_);
    if (json_ != nullptr) {
        json_->stopped(signalName);
    }
}

SettingsOutcome ConsoleFrontEnd::runSettingsForm(Session& session) {
    if (!inputIsTerminal_) {
        // Nobody can fill the form: show how to give all six fields instead.
        std::fprintf(error_, "vorlanth: Interactive mode needs a terminal.\n%s", usageText());
        std::fflush(error_);
        session.exitCode = exit_code::kCommandLineError;
        return SettingsOutcome::Exit;
    }
    return fillSettingsForm(session);
}

SettingsOutcome ConsoleFrontEnd::fillSettingsForm(Session& session) {
    SettingsForm form(session, error_, [this](std::string& line) { return readAnswerLine(line); });
    return form.run() == dialog::kDialogOk ? SettingsOutcome::Upload : SettingsOutcome::Exit;
}

std::optional<BrowseResult> ConsoleFrontEnd::browseForFile(const BrowseRequest& /*request*/) {
    return std::nullopt;
}

}  // namespace vorlanth::ui::console
