// How a ResultCode reads in a failed expectation: its number, as the message table knows it,
// instead of the raw bytes the test library shows for a scoped enumeration.
#pragma once

#include <ostream>

#include "common/types.h"

namespace vorlanth {

// Found by the test library through argument-dependent lookup.
inline void PrintTo(ResultCode code, std::ostream* out) {
    *out << "ResultCode " << codeNumber(code);
}

}  // namespace vorlanth
