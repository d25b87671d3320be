// The settings dialog as a line-oriented form on a terminal, for vorlanth-cli in Interactive mode.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "dialog/memory_dialog_view.h"
#include "shell/session.h"

namespace vorlanth::ui::console {

// The settings dialog as a line-oriented form on a terminal. It runs the same dialog logic as
// the desktop dialog over a dialog held in memory: the user changes one field at a time, the
// same rules correct it, OK saves the settings, Exit ends.
class SettingsForm {
  public:
    using ReadLine = std::function<bool(std::string&)>;

    SettingsForm(Session& session, std::FILE* out, ReadLine readLine);
    // Runs the form until OK or Exit; 1 for OK, 2 for Exit (also at the end of input).
    int run();

  private:
    void print();
    bool ask(const char* prompt, std::string& answer);
    void chooseFromList(int controlId, const char* name);
    void editBox(int controlId, const char* prompt);
    std::optional<BrowseResult> askForProgramFile(const BrowseRequest& request);
    void command(int controlId, dialog::Notification notification);

    Session& session_;
    std::FILE* out_;
    ReadLine readLine_;
    dialog::MemoryDialogView view_;
};

}  // namespace vorlanth::ui::console
