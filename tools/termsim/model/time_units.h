// The virtual terminal's one unit of time: microseconds, on the caller's clock.
#pragma once

#include <cstdint>

namespace vorlanth::termsim {

// A moment or a duration in microseconds.
using Micros = std::uint64_t;

inline constexpr Micros kMicrosPerMilli = 1'000;
inline constexpr Micros kMicrosPerSecond = 1'000'000;

// Milliseconds (as options are written) in microseconds.
constexpr Micros millisToMicros(std::uint64_t millis) {
    return millis * kMicrosPerMilli;
}

// The whole millisecond at or after a moment, for a caller whose clock counts milliseconds:
// waiting until then finds an event due.
constexpr std::uint64_t millisRoundedUp(Micros time) {
    return (time + kMicrosPerMilli - 1) / kMicrosPerMilli;
}

}  // namespace vorlanth::termsim
