// Turns an errno value into a FailureDetail with strerror_r's text, safe on any thread.
#include "platform/posix/system_error.h"

#include <cstring>

namespace vorlanth::platform {

namespace {

// The text of strerror_r, whichever of its two forms the C library has: the GNU one returns the
// text (which may not be in the buffer), the POSIX one returns 0 and fills the buffer.
[[maybe_unused]] const char* errorText(const char* text, const char* /*buffer*/) {
    return text;
}
[[maybe_unused]] const char* errorText(int result, const char* buffer) {
    return result == 0 ? buffer : "unknown error";
}

}  // namespace

FailureDetail systemFailure(std::string object, std::string reason, int error) {
    FailureDetail detail = objectFailure(std::move(object), std::move(reason));
    detail.osErrorKind = OsErrorKind::Errno;
    detail.osError = error;
    // strerror_r, not strerror: several uploads may fail at once, each on a thread of its own.
    char buffer[256] = {};
    detail.osMessage = errorText(strerror_r(error, buffer, sizeof buffer), buffer);
    return detail;
}

}  // namespace vorlanth::platform
