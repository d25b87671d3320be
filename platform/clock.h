// Clock: the core's only source of time (a wrapping millisecond tick and a sleep), and
// wrap-safe comparisons of ticks against deadlines.
#pragma once

#include <cstdint>

namespace vorlanth::platform {

// The only source of time for the core: a millisecond tick counter and a sleep.
class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start; wraps around like a 32-bit counter.
    virtual std::uint32_t tickCount() = 0;
    // Blocks the thread for the given milliseconds.
    virtual void sleep(std::uint32_t milliseconds) = 0;
};

// True when tick lies after deadline, correct across the counter's wrap-around.
inline bool tickIsAfter(std::uint32_t tick, std::uint32_t deadline) {
    return static_cast<std::int32_t>(tick - deadline) > 0;
}

// Milliseconds from now until deadline; 0 when it has passed.
inline std::uint32_t millisecondsUntil(std::uint32_t now, std::uint32_t deadline) {
    auto left = static_cast<std::int32_t>(deadline - now);
    return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}

}  // namespace vorlanth::platform
