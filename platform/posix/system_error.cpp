#include "platform/posix/system_error.h"

#include <cstring>

namespace vorlanth::platform {

FailureDetail systemFailure(std::string object, std::string reason, int error) {
    FailureDetail detail;
    detail.kind = FailureKind::System;
    detail.object = std::move(object);
    detail.reason = std::move(reason);
    detail.osErrorKind = OsErrorKind::Errno;
    detail.osError = error;
    detail.osMessage = std::strerror(error);
    return detail;
}

}  // namespace vorlanth::platform
