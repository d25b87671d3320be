#include "line_pacing.h"

#include <algorithm>

namespace vorlanth::termsim {

namespace {

constexpr std::uint64_t kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
constexpr std::uint64_t kNanosPerSecond = 1'000'000'000;

}  // namespace

// A byte's time on the line in whole nanoseconds, 0 without pacing.
PacedLine::PacedLine(std::uint32_t baud)
    : byteNanos_(baud == 0 ? 0 : kBitsPerByte * kNanosPerSecond / baud) {}

// The bytes start once both they and the line are ready.
LineTime PacedLine::carry(LineTime ready, std::size_t count) {
    free_ = deliveredAlone(std::max(ready, free_), count);
    return free_;
}

// The bytes take their line time from `ready`, whatever else the line carries.
LineTime PacedLine::deliveredAlone(LineTime ready, std::size_t count) const {
    return LineTime(ready.nanos_ + byteNanos_ * count);
}

}  // namespace vorlanth::termsim
