// The in-memory settings dialog with a log of every call and a scripted open-file dialog.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "dialog/memory_dialog_view.h"

namespace vorlanth::fakes {

// The in-memory dialog with a log of every call and a scripted open-file dialog.
class FakeDialogView final : public dialog::MemoryDialogView {
  public:
    FakeDialogView() {
        onOpenFile = [this](const BrowseRequest& request) {
            browseRequests.push_back(request);
            return browseAnswer;
        };
    }

    std::vector<BrowseRequest> browseRequests;
    std::optional<BrowseResult> browseAnswer;
    std::vector<std::string> log;

  protected:
    void note(const std::string& entry) override { log.push_back(entry); }
};

}  // namespace vorlanth::fakes
