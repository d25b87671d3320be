#pragma once

#include <optional>
#include <string_view>

#include "common/message_table.h"
#include "common/types.h"
#include "shell/front_end.h"

namespace vorlanth::shell {

// Shows the message of code, owned by owner, captioned and topmost. For the retry question
// returns the user's answer (Answer::Yes asks for a retry); otherwise Answer::None. A code outside
// the table shows nothing. detail, when given, travels with the message to front ends that
// can say why; the box's text stays the table's.
Answer showResultMessage(FrontEnd& frontEnd, WindowHandle owner, ResultCode code,
                         const FailureDetail* detail = nullptr);

// Shows "Format Error!": warning, OK, topmost, no owner window, with detail for the front ends
// that say where; returns when it is closed.
void showFormatError(FrontEnd& frontEnd, const FailureDetail& detail);

}  // namespace vorlanth::shell
