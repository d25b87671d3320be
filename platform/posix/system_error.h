#pragma once

#include <string>

#include "common/failure_detail.h"

namespace vorlanth::platform {

// A failure the operating system reported with errno: the object, what went wrong in plain
// words, the number and strerror's text for it.
FailureDetail systemFailure(std::string object, std::string reason, int error);

// A failure of a system object that the operating system gave no error for: the object and
// what went wrong in plain words.
FailureDetail objectFailure(std::string object, std::string reason);

// Copies detail to why when the caller asked for it.
inline void tell(FailureDetail* why, FailureDetail detail) {
    if (why != nullptr) {
        *why = std::move(detail);
    }
}

}  // namespace vorlanth::platform
