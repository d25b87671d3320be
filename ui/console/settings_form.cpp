// The terminal's settings form: prints the dialog held in memory, takes one change a line, and
// runs the dialog's own rules on it.
#include "ui/console/settings_form.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "common/text.h"
#include "dialog/main_dialog.h"

namespace vorlanth::ui::console {

namespace {

using dialog::Notification;
namespace control = dialog::control;

// An answer without blanks and tabs around it.
std::string trimmed(const std::string& text) {
    return std::string(vorlanth::trimmed(text, kBlanks));
}

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

}  // namespace

SettingsForm::SettingsForm(Session& session, std::FILE* out, ReadLine readLine)
    : session_(session), out_(out), readLine_(std::move(readLine)) {
    view_.onCommand = [this](int controlId, Notification notification) {
        command(controlId, notification);
    };
    view_.onOpenFile = [this](const BrowseRequest& request) { return askForProgramFile(request); };
}

void SettingsForm::command(int controlId, Notification notification) {
    dialog::handleMainDialogCommand(session_, view_, controlId, notification);
}

bool SettingsForm::ask(const char* prompt, std::string& answer) {
    std::fprintf(out_, "%s", prompt);
    std::fflush(out_);
    if (!readLine_(answer)) {
        std::fprintf(out_, "\n");
        return false;
    }
    return true;
}

void SettingsForm::print() {
    const auto& link = view_.control(control::kCommTypeBox);
    const auto& file = view_.control(control::kFileTypeBox);
    auto entry = [](const dialog::MemoryDialogView::Control& list) {
        return list.selected >= 0 ? list.entries[static_cast<std::size_t>(list.selected)]
                                  : std::string("(none)");
    };
    std::fprintf(out_, "\n%s\n", view_.caption.c_str());
    std::fprintf(out_, "  1  Comm type   : %s\n", entry(link).c_str());
    if (view_.control(control::kComPortBox).visible) {
        std::fprintf(out_, "  2  COM port    : %s  (1~255)\n",
                     view_.control(control::kComPortBox).text.c_str());
        std::fprintf(out_, "  3  Baud rate   : %s\n",
                     entry(view_.control(control::kBaudRateBox)).c_str());
    } else {
        std::fprintf(out_, "  2  Target IP   : %s\n",
                     view_.control(control::kAddressBox).text.c_str());
        std::fprintf(out_, "  3  Port number : %s\n",
                     view_.control(control::kPortBox).text.c_str());
    }
    std::fprintf(out_, "  4  File type   : %s\n", entry(file).c_str());
    std::fprintf(out_, "  5  File name   : %s   (5 or b: browse)\n",
                 view_.control(control::kFileNameBox).text.c_str());
    std::fprintf(out_, "  o  OK%s    x  Exit\n",
                 view_.control(control::kOkButton).enabled ? "" : " (not available)");
}

void SettingsForm::chooseFromList(int controlId, const char* name) {
    const auto& list = view_.control(controlId);
    std::string choices;
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
        choices += "  " + std::to_string(i + 1) + ") " + list.entries[i];
    }
    std::fprintf(out_, "%s:%s\n", name, choices.c_str());
    std::string answer;
    const std::string prompt =
        std::string(name) + " [1-" + std::to_string(list.entries.size()) + "]: ";
    if (!ask(prompt.c_str(), answer)) {
        return;
    }
    const std::string choice = trimmed(answer);
    const int index = choice.empty() ? 0 : std::atoi(choice.c_str());
    if (index < 1 || index > static_cast<int>(list.entries.size())) {
        std::fprintf(out_, "No such choice; %s is unchanged.\n", name);
        return;
    }
    // A choice made by the user is reported, unlike a selection made by the program.
    view_.pick(controlId, index - 1);
}

void SettingsForm::editBox(int controlId, const char* prompt) {
    std::string answer;
    if (!ask(prompt, answer)) {
        return;
    }
    const std::string typed = trimmed(answer);
    view_.type(controlId, typed);
    const std::string& shown = view_.control(controlId).text;
    if (shown != typed) {
        std::fprintf(out_, "Corrected to \"%s\".\n", shown.c_str());
    }
}

std::optional<BrowseResult> SettingsForm::askForProgramFile(const BrowseRequest& request) {
    std::string answer;
    std::fprintf(out_, "Program file (%s), empty to cancel:\n",
                 request.filters[static_cast<std::size_t>(request.filterIndex - 1)].name.c_str());
    if (!ask("Path: ", answer)) {
        return std::nullopt;
    }
    std::string path = trimmed(answer);
    if (path.empty()) {
        return std::nullopt;
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (!error) {
        path = absolute.lexically_normal().string();
    }
    // A name typed without an extension gets the default one, as the open-file dialog does.
    if (std::filesystem::path(path).extension().empty()) {
        path += "." + request.defaultExtension;
    }
    if (path.size() > request.maxPathLength || !session_.platform.files().fileSize(path)) {
        std::fprintf(out_, "No such file: %s\n", path.c_str());
        return std::nullopt;
    }
    // The filter whose pattern the file matches is the one the user picked; else the current.
    BrowseResult result{path, request.filterIndex};
    const std::string extension = upper(std::filesystem::path(path).extension().string());
    for (std::size_t i = 0; i < request.filters.size(); ++i) {
        if (upper(request.filters[i].pattern) == "*" + extension) {
            result.filterIndex = static_cast<int>(i) + 1;
        }
    }
    return result;
}

int SettingsForm::run() {
    dialog::openMainDialog(session_, view_);
    while (view_.endResults.empty()) {
        print();
        std::string answer;
        if (!ask("Change [1-5], b, o or x: ", answer)) {
            command(control::kExitButton, Notification::Clicked);
            break;
        }
        const std::string choice = trimmed(answer);
        const bool network = view_.control(control::kAddressBox).visible;
        if (choice == "1") {
            chooseFromList(control::kCommTypeBox, "Comm type");
        } else if (choice == "2") {
            editBox(network ? control::kAddressBox : control::kComPortBox,
                    network ? "Target IP: " : "COM port (1~255): ");
        } else if (choice == "3") {
            if (network) {
                editBox(control::kPortBox, "Port number: ");
            } else {
                chooseFromList(control::kBaudRateBox, "Baud rate");
            }
        } else if (choice == "4") {
            chooseFromList(control::kFileTypeBox, "File type");
        } else if (choice == "5" || choice == "b") {
            command(control::kBrowseButton, Notification::Clicked);
        } else if (choice == "o") {
            if (!view_.control(control::kOkButton).enabled) {
                std::fprintf(out_, "OK is not available yet: choose a program file%s.\n",
                             network ? " and give the address and port" : "");
                continue;
            }
            command(control::kOkButton, Notification::Clicked);
        } else if (choice == "x") {
            command(control::kExitButton, Notification::Clicked);
        }
    }
    return view_.endResults.front();
}

}  // namespace vorlanth::ui::console
