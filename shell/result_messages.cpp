// Telling result codes and the format error through the front end, by their table entry.
#include "shell/result_messages.h"

namespace vorlanth::shell {

void showResultMessage(FrontEnd& frontEnd, ResultCode code, const FailureDetail* detail) {
    if (!findResultMessage(code)) {
        return;
    }
    frontEnd.tell(MessageId::result(code), detail != nullptr ? *detail : FailureDetail{});
}

void showFormatError(FrontEnd& frontEnd, const FailureDetail& detail) {
    frontEnd.tell(MessageId::formatError(), detail);
}

}  // namespace vorlanth::shell
