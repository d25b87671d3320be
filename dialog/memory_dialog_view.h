// A settings dialog held in memory, for the console's form and for tests; it keeps the platform's
// rule that writing an edit box reports its change at once.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "dialog/dialog_view.h"

namespace vorlanth::dialog {

// A settings dialog held in memory, for front ends that draw it their own way (the console
// form) and for tests. It keeps the platform's contract: writing an edit box's text reports
// the change at once, nested; selecting a list entry from the program reports nothing.
class MemoryDialogView : public DialogView {
  public:
    struct Control {
        std::string text;
        bool visible = true;
        bool enabled = true;
        std::vector<std::string> entries;
        int selected = -1;
    };

    // Receives every notification a control reports (wired to the dialog logic).
    std::function<void(int, Notification)> onCommand;
    // Answers open-file requests; nothing when unset.
    std::function<std::optional<BrowseResult>(const BrowseRequest&)> onOpenFile;

    void setCaption(std::string_view text) override;
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
    void makeTopmost() override;
    void endDialog(int result) override;
    std::optional<BrowseResult> requestOpenFile(const BrowseRequest& request) override;

    // What the user does: types a whole new text into a box, or picks a list entry (which,
    // unlike a selection by the program, is reported).
    void type(int controlId, std::string_view text) { setText(controlId, text); }
    void pick(int controlId, int index);

    static bool isEdit(int controlId);
    const Control& control(int controlId) { return controls[controlId]; }

    std::map<int, Control> controls;
    std::string caption;
    std::optional<std::pair<int, int>> upDownRange;
    int topmostRequests = 0;
    std::vector<int> endResults;
    int nesting = 0;
    int deepestNesting = 0;
    // A rule that keeps writing its own box would nest without end: stop and note it.
    static constexpr int kNestingLimit = 16;
    bool nestingRanAway = false;

  protected:
    // Every call in order, e.g. "show 101 1", "text 104", "enable 202 0"; for tests.
    virtual void note(const std::string& /*entry*/) {}
};

}  // namespace vorlanth::dialog
