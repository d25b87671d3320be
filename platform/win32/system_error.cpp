// Turns a Win32 or Winsock error code into a FailureDetail with FormatMessage's text.
#include "platform/win32/system_error.h"

#include <windows.h>

namespace vorlanth::platform {

// The system's text without its closing period and line end.
FailureDetail systemFailure(std::string object, std::string reason, unsigned long error) {
    FailureDetail detail = objectFailure(std::move(object), std::move(reason));
    detail.osErrorKind = OsErrorKind::Win32;
    detail.osError = static_cast<int>(error);
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\r' || message.back() == '\n' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    detail.osMessage = message.empty() ? "error " + std::to_string(error) : message;
    return detail;
}

}  // namespace vorlanth::platform
