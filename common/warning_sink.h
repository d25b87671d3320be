// Where a warning goes: something the user should know that does not stop the run (settings
// not saved, a line setting the device refused).
#pragma once

#include <string_view>

#include "common/failure_detail.h"

namespace vorlanth {

// summary is the short text ("settings not saved"), detail the object and cause.
class WarningSink {
  public:
    virtual ~WarningSink() = default;
    virtual void warn(std::string_view /*summary*/, const FailureDetail& /*detail*/) {}
};

}  // namespace vorlanth
