#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/clock.h"
#include "shell/front_end.h"
#include "ui/console/json_events.h"
#include "ui/console/progress_line.h"

namespace vorlanth::ui::console {

// The console front end: message boxes become their text on stderr, the retry question is a
// prompt on a terminal (No without one), the progress and erase windows are a line on stderr,
// and with --json every event is also a JSON line on stdout.
class ConsoleFrontEnd : public FrontEnd {
  public:
    ConsoleFrontEnd(std::FILE* errorStream, bool inputIsTerminal, bool errorIsTerminal,
                    platform::Clock& clock, JsonEventWriter* json = nullptr);

    WindowHandle activeWindow() override { return 0; }
    Answer showMessageBox(const MessageBoxRequest& request) override;
    bool openProgressWindow() override;
    void setProgress(int percent) override;
    void reportBytes(std::uint64_t consumed, std::uint64_t total) override;
    void closeProgressWindow() override;
    void pumpOneMessage() override {}
    bool openEraseWindow() override;
    void closeEraseWindow() override;
    int runSettingsDialog(Session& session) override;
    std::optional<BrowseResult> browseForFile(const BrowseRequest& request) override;
    void onUploadEvent(UploadEvent event) override;
    void warn(std::string_view summary, const FailureDetail& detail) override;
    // Says that the run was stopped by a signal, after ending any progress line.
    void reportStop(std::string_view signalName);

  protected:
    // Reads one answer line; false at the end of input.
    virtual bool readAnswerLine(std::string& line);
    // Interactive mode on a terminal: the settings form. 1 for OK, 2 for Exit.
    virtual int runSettingsForm(Session& session);

    std::FILE* error_;
    bool inputIsTerminal_;
    bool errorIsTerminal_;

  private:
    void printDetail(const FailureDetail& detail, bool question);

    ProgressLine progress_;
    JsonEventWriter* json_;
    std::uint64_t consumed_ = 0;
    std::uint64_t total_ = 0;
    // The cause printed under the last plain message, until a question follows.
    std::string lastDetail_;
};

}  // namespace vorlanth::ui::console
