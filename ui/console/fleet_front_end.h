// The front end of one fleet target: draws what the core tells it as the target's phases and
// progress on the fleet's display and, with --json, as events that carry the target.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "shell/front_end.h"
#include "ui/console/fleet_display.h"
#include "ui/console/json_events.h"

namespace vorlanth::ui::console {

// Nobody is asked anything in a fleet: the shell's retry policy decides, and this front end
// only shows the decision. Used by its target's thread only.
class FleetTargetFrontEnd final : public FrontEnd {
  public:
    // json may be nullptr.
    FleetTargetFrontEnd(FleetDisplay& display, std::size_t index,
                        std::unique_ptr<JsonEventWriter> json);

    void tell(MessageId message, const FailureDetail& detail) override;
    // Never asked: a fleet's policy is to retry without asking. No.
    bool askRetry(const FailureDetail& /*why*/) override { return false; }
    void retryDecided(bool retrying, const FailureDetail& why) override;
    bool beginProgress() override { return true; }
    void advanceProgress(std::uint64_t consumed, std::uint64_t total,
                         std::optional<int> percent) override;
    void endProgress() override {}
    bool showErase() override { return true; }
    void endErase() override {}
    // Nobody fills a form in a fleet; the lines are Automatic, so this is never asked.
    SettingsOutcome runSettingsForm(Session& /*session*/) override { return SettingsOutcome::Exit; }
    std::optional<BrowseResult> browseForFile(const BrowseRequest& /*request*/) override {
        return std::nullopt;
    }
    void onUploadEvent(UploadEvent event) override;
    void warn(std::string_view summary, const FailureDetail& detail) override;
    void programChecked(const shell::ProgramDigests& digests) override {
        if (json_) {
            json_->programChecked(digests);
        }
    }

    JsonEventWriter* json() { return json_.get(); }

  private:
    FleetDisplay& display_;
    std::size_t index_;
    std::unique_ptr<JsonEventWriter> json_;
    // The last message told since the last retry, and the last failed step of an attempt
    // ("the handshake failed"): what the retrying line says when the failure has no detail.
    std::string lastMessage_;
    std::string failedStep_;
};

}  // namespace vorlanth::ui::console
