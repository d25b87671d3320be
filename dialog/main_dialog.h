// The settings dialog's rules: how it is filled, how each box corrects what is typed, what
// Browse and OK do; written once over a DialogView for every front end.
#pragma once

#include <array>
#include <string_view>

#include "dialog/dialog_view.h"
#include "shell/session.h"

namespace vorlanth::dialog {

// Results with which the settings dialog ends.
inline constexpr int kDialogOk = 1;
inline constexpr int kDialogExit = 2;

// List entries; the position in a list is the value of its field.
inline constexpr std::array<std::string_view, kLinkTypeCount> kLinkTypeNames = {
    "RS-232 / IrDA", "Cradle-IR", "TCP / IP"};
inline constexpr std::array<std::string_view, 5> kBaudRateNames = {
    "115200 bps", "57600 bps", "38400 bps", "19200 bps", "9600 bps"};
// The file-type list and the open-file filters come from the file-type table
// (readers/file_types.h), one entry per type in number order.
inline constexpr std::string_view kDefaultProgramBaseName = "Vorlanth";

// Opening of the dialog: sets the caption and fills every control from the settings.
void openMainDialog(Session& session, DialogView& view);

// Fills and arranges every control from the settings, and sets settingsFormReady.
void fillMainDialog(Session& session, DialogView& view);

// Runs the rule of a control for one of its notifications (the change rules, Browse, OK, Exit).
void handleMainDialogCommand(Session& session, DialogView& view, int controlId,
                             Notification notification);

// Checks a dotted address: pieces of at most three characters, each with a leading decimal
// number within 0..255. The number of pieces and the kind of their characters are not
// examined. Returns 1 when it passes, 0 when not.
int validateIpText(std::string_view address);

// Runs the open-file dialog for the current file type. Returns nonzero when the user chose a
// file, after setting fileType from the filter selected and programPath; 0 otherwise.
int browseForProgramFile(Session& session, DialogView& view);

}  // namespace vorlanth::dialog
