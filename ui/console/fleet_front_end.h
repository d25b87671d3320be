#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "shell/front_end.h"
#include "ui/console/fleet_display.h"
#include "ui/console/json_events.h"

namespace vorlanth::ui::console {

// The front end of one fleet target. Nobody is asked anything: the retry question is answered
// Yes while retries remain (No after a format error, which a retry cannot mend), and every
// window and message becomes a phase of the target on the fleet's display and, with --json, an
// event that carries the target. Used by its target's thread only; what it gathered is read
// once that thread has ended.
class FleetTargetFrontEnd final : public FrontEnd {
  public:
    // json may be nullptr.
    FleetTargetFrontEnd(FleetDisplay& display, std::size_t index, int retries,
                        std::unique_ptr<JsonEventWriter> json);

    WindowHandle activeWindow() override { return 0; }
    Answer showMessageBox(const MessageBoxRequest& request) override;
    bool openProgressWindow() override { return true; }
    void setProgress(int percent) override;
    void reportBytes(std::uint64_t consumed, std::uint64_t total) override;
    void closeProgressWindow() override {}
    void pumpOneMessage() override {}
    bool openEraseWindow() override { return true; }
    void closeEraseWindow() override {}
    int runSettingsDialog(Session& session) override;
    std::optional<BrowseResult> browseForFile(const BrowseRequest& /*request*/) override {
        return std::nullopt;
    }
    void onUploadEvent(UploadEvent event) override;
    void warn(std::string_view summary, const FailureDetail& detail) override;

    JsonEventWriter* json() { return json_.get(); }
    // The program bytes the last attempt got through.
    std::uint64_t bytesSent() const { return consumed_; }
    // The last message that was no question, since the last retry (empty when none), and why.
    const std::string& lastMessage() const { return lastMessage_; }
    const FailureDetail& lastDetail() const { return lastDetail_; }
    // The text of the last question asked, and why it was asked.
    const std::string& lastQuestion() const { return lastQuestion_; }
    const FailureDetail& lastQuestionDetail() const { return lastQuestionDetail_; }

  private:
    FleetDisplay& display_;
    std::size_t index_;
    int retriesLeft_;
    std::unique_ptr<JsonEventWriter> json_;
    std::uint64_t consumed_ = 0;
    std::uint64_t total_ = 0;
    std::string lastMessage_;
    FailureDetail lastDetail_;
    std::string lastQuestion_;
    FailureDetail lastQuestionDetail_;
    // What the last failed step of an attempt was, for the retry's note: "the handshake failed".
    std::string failedStep_;
};

}  // namespace vorlanth::ui::console
