#pragma once

#include <optional>
#include <string_view>

#include "common/types.h"
#include "ui/front_end.h"
#include "vorlanth/version.h"

namespace vorlanth::shell {

// The caption of every message box about an upload (two blanks before the parenthesis).
inline constexpr std::string_view kProgramCaption =
    "Program download  (Ver. " VORLANTH_VERSION_TEXT ")";

// The message shown when a program file is not in its format; it has a caption of its own.
inline constexpr std::string_view kFormatErrorText = "Format Error!";
inline constexpr std::string_view kFormatErrorCaption = "Program Download";

struct ResultMessage {
    ResultCode code;
    std::string_view text;
    ui::MessageIcon icon;
    ui::MessageButtons buttons;
};

// The message table entry of a code; nothing for a code outside the table.
std::optional<ResultMessage> findResultMessage(ResultCode code);

// Shows the message of code, owned by owner, captioned and topmost. For the retry question
// returns the user's answer (ui::kAnswerYes asks for a retry); otherwise 0. A code outside
// the table shows nothing. detail, when given, travels with the message to front ends that
// can say why; the box's text stays the table's.
int showResultMessage(ui::FrontEnd& frontEnd, ui::WindowHandle owner, ResultCode code,
                      const FailureDetail* detail = nullptr);

// Shows "Format Error!": warning, OK, topmost, no owner window, with detail for the front ends
// that say where; returns when it is closed.
void showFormatError(ui::FrontEnd& frontEnd, const FailureDetail& detail);

}  // namespace vorlanth::shell
