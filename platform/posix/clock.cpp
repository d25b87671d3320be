// The POSIX clock: ticks from the monotonic clock, sleeps that a stop request ends early.
#include <algorithm>

#include "platform/posix/stop_wait.h"
#include "platform/system_parts.h"

namespace vorlanth::platform {

namespace {

// Monotonic milliseconds, wrapping like a 32-bit tick counter.
class MonotonicClock final : public Clock {
  public:
    std::uint32_t tickCount() override { return static_cast<std::uint32_t>(monotonicMs()); }

    // A wait in poll on nothing but the stop request: it ends early when a stop is asked.
    void sleep(std::uint32_t milliseconds) override {
        constexpr std::uint32_t kLongestPollMs = 0x7FFFFFFF;
        waitForDescriptor(-1, 0, static_cast<int>(std::min(milliseconds, kLongestPollMs)));
    }
};

}  // namespace

std::unique_ptr<Clock> makeSystemClock() {
    return std::make_unique<MonotonicClock>();
}

}  // namespace vorlanth::platform
