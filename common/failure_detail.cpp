// Builds failure details and turns one into the single line the console prints.
#include "common/failure_detail.h"

namespace vorlanth {

// Built by appending: GCC 12 misreads `":" + std::to_string(n)` as an overlapping copy.
std::string describeFailure(const FailureDetail& detail) {
    std::string text = detail.object;
    if (!text.empty() && detail.line > 0) {
        text.append(":").append(std::to_string(detail.line));
        if (detail.column > 0) {
            text.append(":").append(std::to_string(detail.column));
        }
    }
    if (!text.empty()) {
        text.append(": ");
    }
    text.append(detail.reason);
    if (!detail.osMessage.empty()) {
        if (detail.reason.empty()) {
            text.append(detail.osMessage);
        } else {
            text.append(" (").append(detail.osMessage).append(")");
        }
    }
    return text;
}

FailureDetail objectFailure(std::string object, std::string reason, FailureKind kind) {
    FailureDetail detail;
    detail.kind = kind;
    detail.object = std::move(object);
    detail.reason = std::move(reason);
    return detail;
}

}  // namespace vorlanth
