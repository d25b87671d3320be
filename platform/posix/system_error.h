// FailureDetail from an errno value on POSIX.
#pragma once

#include <string>

#include "common/failure_detail.h"

namespace vorlanth::platform {

// A failure the operating system reported with errno: the object, what went wrong in plain
// words, the number and strerror's text for it.
FailureDetail systemFailure(std::string object, std::string reason, int error);

}  // namespace vorlanth::platform
