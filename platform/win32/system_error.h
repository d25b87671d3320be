// FailureDetail from a Win32 or Winsock error code.
#pragma once

#include <string>

#include "common/failure_detail.h"

namespace vorlanth::platform {

// A failure the operating system reported with a Win32 (or Winsock) error code: the object,
// what went wrong in plain words, the code and FormatMessage's text for it.
FailureDetail systemFailure(std::string object, std::string reason, unsigned long error);

}  // namespace vorlanth::platform
