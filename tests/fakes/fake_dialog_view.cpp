#include "tests/fakes/fake_dialog_view.h"

#include <algorithm>

#include "common/decimal.h"

namespace vorlanth::fakes {

bool FakeDialogView::isEdit(int controlId) const {
    using namespace settings::control;
    return controlId == kComPortBox || controlId == kAddressBox || controlId == kPortBox ||
           controlId == kFileNameBox;
}

void FakeDialogView::setText(int controlId, std::string_view text) {
    controls[controlId].text = std::string(text);
    log.push_back("text " + std::to_string(controlId));
    if (!isEdit(controlId) || !onCommand) {
        return;
    }
    if (nesting >= kNestingLimit) {
        nestingRanAway = true;
        return;
    }
    ++nesting;
    deepestNesting = std::max(deepestNesting, nesting);
    onCommand(controlId, settings::Notification::Changed);
    --nesting;
}

std::string FakeDialogView::readText(int controlId, std::size_t maxCount) {
    const std::string& text = controls[controlId].text;
    if (maxCount == 0) {
        return {};
    }
    return text.substr(0, std::min(text.size(), maxCount - 1));
}

void FakeDialogView::setNumber(int controlId, std::int64_t value, bool isSigned) {
    const std::int64_t shown = isSigned
                                   ? static_cast<std::int32_t>(value)
                                   : static_cast<std::int64_t>(static_cast<std::uint32_t>(value));
    setText(controlId, std::to_string(shown));
}

std::optional<std::uint32_t> FakeDialogView::readNumber(int controlId) {
    std::uint32_t value = 0;
    if (!readUnsignedDecimal(controls[controlId].text, value)) {
        return std::nullopt;
    }
    return value;
}

void FakeDialogView::show(int controlId, bool visible) {
    controls[controlId].visible = visible;
    log.push_back("show " + std::to_string(controlId) + (visible ? " 1" : " 0"));
}

void FakeDialogView::enable(int controlId, bool enabled) {
    controls[controlId].enabled = enabled;
    log.push_back("enable " + std::to_string(controlId) + (enabled ? " 1" : " 0"));
}

void FakeDialogView::resetList(int controlId) {
    controls[controlId].entries.clear();
    controls[controlId].selected = -1;
    log.push_back("reset " + std::to_string(controlId));
}

void FakeDialogView::addListEntry(int controlId, std::string_view text) {
    controls[controlId].entries.emplace_back(text);
}

void FakeDialogView::selectListEntry(int controlId, int index) {
    Control& list = controls[controlId];
    list.selected =
        index >= 0 && static_cast<std::size_t>(index) < list.entries.size() ? index : -1;
    log.push_back("select " + std::to_string(controlId) + " " + std::to_string(index));
}

int FakeDialogView::selectedListEntry(int controlId) {
    return controls[controlId].selected;
}

void FakeDialogView::setUpDownRange(int controlId, int lowest, int highest) {
    upDownRange = {lowest, highest};
    log.push_back("range " + std::to_string(controlId));
}

std::optional<ui::BrowseResult> FakeDialogView::requestOpenFile(const ui::BrowseRequest& request) {
    browseRequests.push_back(request);
    return browseAnswer;
}

void FakeDialogView::pick(int controlId, int index) {
    selectListEntry(controlId, index);
    if (onCommand) {
        onCommand(controlId, settings::Notification::Changed);
    }
}

}  // namespace vorlanth::fakes
