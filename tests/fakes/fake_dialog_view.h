#pragma once

#include <optional>
#include <string>
#include <vector>

#include "settings/memory_dialog_view.h"

namespace vorlanth::fakes {

// The in-memory dialog with a log of every call and a scripted open-file dialog.
class FakeDialogView final : public settings::MemoryDialogView {
  public:
    FakeDialogView() {
        onOpenFile = [this](const ui::BrowseRequest& request) {
            browseRequests.push_back(request);
            return browseAnswer;
        };
    }

    std::vector<ui::BrowseRequest> browseRequests;
    std::optional<ui::BrowseResult> browseAnswer;
    std::vector<std::string> log;

  protected:
    void note(const std::string& entry) override { log.push_back(entry); }
};

}  // namespace vorlanth::fakes
