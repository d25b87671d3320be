// The console front end of vorlanth-cli: messages as lines on stderr, the retry question as a
// prompt on a terminal (No without one), progress and the erase as a line on stderr, the
// settings form on a terminal, and with --json every event also as a JSON line on stdout.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/clock.h"
#include "shell/front_end.h"
#include "ui/console/json_events.h"
#include "ui/console/progress_line.h"

namespace vorlanth::ui::console {

class ConsoleFrontEnd : public FrontEnd {
  public:
    ConsoleFrontEnd(std::FILE* errorStream, bool inputIsTerminal, bool errorIsTerminal,
                    platform::Clock& clock, JsonEventWriter* json = nullptr);

    void tell(MessageId message, const FailureDetail& detail) override;
    bool askRetry(const FailureDetail& why) override;
    bool beginProgress() override;
    void advanceProgress(std::uint64_t consumed, std::uint64_t total,
                         std::optional<int> percent) override;
    void endProgress() override;
    bool showErase() override;
    void endErase() override;
    SettingsOutcome runSettingsForm(Session& session) override;
    std::optional<BrowseResult> browseForFile(const BrowseRequest& request) override;
    void onUploadEvent(UploadEvent event) override;
    void warn(std::string_view summary, const FailureDetail& detail) override;
    void programChecked(const shell::ProgramDigests& digests) override;
    // Says that the run was stopped by a signal, after ending any progress line.
    void reportStop(std::string_view signalName);

  protected:
    // Reads one answer line; false at the end of input.
    virtual bool readAnswerLine(std::string& line);
    // Interactive mode on a terminal: the settings form.
    virtual SettingsOutcome fillSettingsForm(Session& session);

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
