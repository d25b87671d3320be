#pragma once

#include <cstdio>
#include <string>

#include "ui/front_end.h"

namespace vorlanth::ui::console {

// The console front end: message boxes become their text on stderr, the retry question is a
// prompt on a terminal, progress is a line on stderr.
class ConsoleFrontEnd : public FrontEnd {
  public:
    ConsoleFrontEnd(std::FILE* errorStream, bool inputIsTerminal, bool errorIsTerminal);

    WindowHandle activeWindow() override { return 0; }
    int showMessageBox(const MessageBoxRequest& request) override;
    bool openProgressWindow() override;
    void setProgress(int percent) override;
    void closeProgressWindow() override;
    void pumpOneMessage() override {}
    bool openEraseWindow() override;
    void closeEraseWindow() override;
    int runSettingsDialog(Session& session) override;
    std::optional<BrowseResult> browseForFile(const BrowseRequest& request) override;

  protected:
    // Reads one answer line; false at the end of input.
    virtual bool readAnswerLine(std::string& line);

  private:
    std::FILE* error_;
    bool inputIsTerminal_;
    bool errorIsTerminal_;
    int lastPercent_ = -1;
};

}  // namespace vorlanth::ui::console
