// The settings dialog as its rules see it: controls addressed by identifier, written and read,
// shown, enabled and filled; each front end draws them its own way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "shell/front_end.h"

namespace vorlanth::dialog {

// Identifiers of the settings dialog's controls (the resource script uses the same numbers).
namespace control {
inline constexpr int kComPortBox = 101;
inline constexpr int kAddressBox = 102;
inline constexpr int kPortBox = 103;
inline constexpr int kFileNameBox = 104;
inline constexpr int kBrowseButton = 201;
inline constexpr int kOkButton = 202;
inline constexpr int kExitButton = 2;  // the platform's cancel command: Escape and the close box
inline constexpr int kCommTypeBox = 301;
inline constexpr int kBaudRateBox = 302;
inline constexpr int kFileTypeBox = 303;
inline constexpr int kComPortLabel = 401;
inline constexpr int kBaudRateLabel = 402;
inline constexpr int kAddressLabel = 403;
inline constexpr int kPortLabel = 404;
inline constexpr int kComPortUpDown = 501;
}  // namespace control

// What a control reports to the dialog.
enum class Notification {
    Changed,  // an edit box's text changed (by the user or by the program), a list's selection
    Clicked,  // a button was pressed (also Escape and the close box for the Exit command)
    Other,    // anything else: focus gained or lost, a list opened or closed
};

// The settings dialog as the dialog logic sees it: controls addressed by identifier.
//
// Contract every implementation keeps, as the platform's dialogs do:
// - Writing an edit box's text (setText, setNumber) reports Notification::Changed for that
//   box at once, nested, before the write returns, exactly as an edit by the user does.
// - Selecting a list entry from the program (selectListEntry) reports nothing.
class DialogView {
  public:
    virtual ~DialogView() = default;

    virtual void setCaption(std::string_view text) = 0;

    virtual void setText(int controlId, std::string_view text) = 0;
    // At most maxCount - 1 characters of the control's text.
    virtual std::string readText(int controlId, std::size_t maxCount) = 0;
    // Writes value as decimal text, signed or unsigned.
    virtual void setNumber(int controlId, std::int64_t value, bool isSigned) = 0;
    // Reads the whole text as an unsigned decimal number; nothing when it is not one.
    virtual std::optional<std::uint32_t> readNumber(int controlId) = 0;

    virtual void show(int controlId, bool visible) = 0;
    virtual void enable(int controlId, bool enabled) = 0;

    virtual void resetList(int controlId) = 0;
    virtual void addListEntry(int controlId, std::string_view text) = 0;
    virtual void selectListEntry(int controlId, int index) = 0;
    // The selected position, -1 when nothing is selected.
    virtual int selectedListEntry(int controlId) = 0;

    virtual void setUpDownRange(int controlId, int lowest, int highest) = 0;
    // Makes the dialog topmost without moving or sizing it.
    virtual void makeTopmost() = 0;
    virtual void endDialog(int result) = 0;
    // Runs the platform's open-file dialog; nothing when the user cancelled or it failed.
    virtual std::optional<BrowseResult> requestOpenFile(const BrowseRequest& request) = 0;
};

}  // namespace vorlanth::dialog
