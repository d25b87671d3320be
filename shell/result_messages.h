// Telling a person how an operation ended: a result code's message from the table, or the
// format error with where the file is wrong.
#pragma once

#include "common/failure_detail.h"
#include "common/types.h"
#include "shell/front_end.h"

namespace vorlanth::shell {

// Tells the message of code; a code outside the table (0, 1, ...) tells nothing. detail, when
// given, travels with the message to front ends that can say why; the message's text stays the
// table's.
void showResultMessage(FrontEnd& frontEnd, ResultCode code, const FailureDetail* detail = nullptr);

// Tells "Format Error!" with detail for the front ends that say where.
void showFormatError(FrontEnd& frontEnd, const FailureDetail& detail);

}  // namespace vorlanth::shell
