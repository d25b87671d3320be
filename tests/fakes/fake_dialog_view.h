#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "settings/dialog_view.h"

namespace vorlanth::fakes {

// A settings dialog held in memory. It keeps the platform's contract: writing an edit box's
// text reports the change at once, nested; selecting a list entry reports nothing.
class FakeDialogView final : public settings::DialogView {
  public:
    struct Control {
        std::string text;
        bool visible = true;
        bool enabled = true;
        std::vector<std::string> entries;
        int selected = -1;
    };

    // Receives every notification a control reports (wired to the dialog logic by the test).
    std::function<void(int, settings::Notification)> onCommand;

    ui::WindowHandle windowHandle() override { return handle; }
    void setCaption(std::string_view text) override { caption = std::string(text); }
    void setText(int controlId, std::string_view text) override;
    std::string readText(int controlId, std::size_t maxCount) override;
    void setNumber(int controlId, std::int64_t value, bool isSigned) override;
    std::optional<std::uint32_t> readNumber(int controlId) override;
    void show(int controlId, bool visible) override;
    void enable(int controlId, bool enabled) override;
    void resetList(int controlId) override;
    void addListEntry(int controlId, std::string_view text) override;
    void selectListEntry(int controlId, int index) override;
    int selectedListEntry(int controlId) override;
    void setUpDownRange(int controlId, int lowest, int highest) override;
    void makeTopmost() override { ++topmostRequests; }
    void endDialog(int result) override { endResults.push_back(result); }
    std::optional<ui::BrowseResult> requestOpenFile(const ui::BrowseRequest& request) override;

    // What the user does: types a whole new text into a box, or picks a list entry.
    void type(int controlId, std::string_view text) { setText(controlId, text); }
    void pick(int controlId, int index);

    bool isEdit(int controlId) const;

    ui::WindowHandle handle = 0x5150;
    std::map<int, Control> controls;
    std::string caption;
    std::optional<std::pair<int, int>> upDownRange;
    int topmostRequests = 0;
    std::vector<int> endResults;
    std::vector<ui::BrowseRequest> browseRequests;
    std::optional<ui::BrowseResult> browseAnswer;
    // Every call in order, e.g. "show 101 1", "text 104", "enable 202 0".
    std::vector<std::string> log;
    int nesting = 0;
    int deepestNesting = 0;
    // A rule that keeps writing its own box would nest without end: stop and note it.
    static constexpr int kNestingLimit = 16;
    bool nestingRanAway = false;
};

}  // namespace vorlanth::fakes
