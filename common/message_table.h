#pragma once

#include <optional>
#include <string_view>

#include "common/types.h"
#include "vorlanth/version.h"

namespace vorlanth {

// The message table: the text, icon and buttons of the message box each result code stands
// for, and the captions. Every front end and the settings dialog show these same texts.

enum class MessageIcon { None, Information, Warning, Question };
enum class MessageButtons { Ok, YesNo };

// The caption of every message box about an upload (two blanks before the parenthesis).
inline constexpr std::string_view kProgramCaption =
    "Program download  (Ver. " VORLANTH_VERSION_TEXT ")";

// The message shown when a program file is not in its format; it has a caption of its own.
inline constexpr std::string_view kFormatErrorText = "Format Error!";
inline constexpr std::string_view kFormatErrorCaption = "Program Download";

struct ResultMessage {
    ResultCode code;
    std::string_view text;
    MessageIcon icon;
    MessageButtons buttons;
};

// The message table entry of a code; nothing for a code outside the table.
std::optional<ResultMessage> findResultMessage(ResultCode code);

}  // namespace vorlanth
