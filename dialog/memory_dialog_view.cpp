// The in-memory settings dialog: controls as records, and the change reports a platform's edit
// boxes make.
#include "dialog/memory_dialog_view.h"

#include <algorithm>

#include "common/decimal.h"

namespace vorlanth::dialog {

bool MemoryDialogView::isEdit(int controlId) {
    return controlId == control::kComPortBox || controlId == control::kAddressBox ||
           controlId == control::kPortBox || controlId == control::kFileNameBox;
}

void MemoryDialogView::setCaption(std::string_view text) {
    caption = std::string(text);
}

void MemoryDialogView::setText(int controlId, std::string_view text) {
    controls[controlId].text = std::string(text);
    note("text " + std::to_string(controlId));
    if (!isEdit(controlId) || !onCommand) {
        return;
    }
    if (nesting >= kNestingLimit) {
        nestingRanAway = true;
        return;
    }
    ++nesting;
    deepestNesting = std::max(deepestNesting, nesting);
    onCommand(controlId, Notification::Changed);
    --nesting;
}

std::string MemoryDialogView::readText(int controlId, std::size_t maxCount) {
    const std::string& text = controls[controlId].text;
    if (maxCount == 0) {
        return {};
    }
    return text.substr(0, std::min(text.size(), maxCount - 1));
}

void MemoryDialogView::setNumber(int controlId, std::int64_t value, bool isSigned) {
    const std::int64_t shown = isSigned
                                   ? static_cast<std::int32_t>(value)
                                   : static_cast<std::int64_t>(static_cast<std::uint32_t>(value));
    setText(controlId, std::to_string(shown));
}

std::optional<std::uint32_t> MemoryDialogView::readNumber(int controlId) {
    std::uint32_t value = 0;
    if (!readUnsignedDecimal(controls[controlId].text, value)) {
        return std::nullopt;
    }
    return value;
}

void MemoryDialogView::show(int controlId, bool visible) {
    controls[controlId].visible = visible;
    note("show " + std::to_string(controlId) + (visible ? " 1" : " 0"));
}

void MemoryDialogView::enable(int controlId, bool enabled) {
    controls[controlId].enabled = enabled;
    note("enable " + std::to_string(controlId) + (enabled ? " 1" : " 0"));
}

void MemoryDialogView::resetList(int controlId) {
    controls[controlId].entries.clear();
    controls[controlId].selected = -1;
    note("reset " + std::to_string(controlId));
}

void MemoryDialogView::addListEntry(int controlId, std::string_view text) {
    controls[controlId].entries.emplace_back(text);
}

void MemoryDialogView::selectListEntry(int controlId, int index) {
    Control& list = controls[controlId];
    list.selected =
        index >= 0 && static_cast<std::size_t>(index) < list.entries.size() ? index : -1;
    note("select " + std::to_string(controlId) + " " + std::to_string(index));
}

int MemoryDialogView::selectedListEntry(int controlId) {
    return controls[controlId].selected;
}

void MemoryDialogView::setUpDownRange(int controlId, int lowest, int highest) {
    upDownRange = {lowest, highest};
    note("range " + std::to_string(controlId));
}

void MemoryDialogView::makeTopmost() {
    ++topmostRequests;
}

void MemoryDialogView::endDialog(int result) {
    endResults.push_back(result);
}

std::optional<BrowseResult> MemoryDialogView::requestOpenFile(const BrowseRequest& request) {
    if (!onOpenFile) {
        return std::nullopt;
    }
    return onOpenFile(request);
}

void MemoryDialogView::pick(int controlId, int index) {
    selectListEntry(controlId, index);
    if (onCommand) {
        onCommand(controlId, Notification::Changed);
    }
}

}  // namespace vorlanth::dialog
