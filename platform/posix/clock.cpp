#include <time.h>

#include "platform/system_parts.h"

namespace vorlanth::platform {

namespace {

// Monotonic milliseconds, wrapping like a 32-bit tick counter.
class MonotonicClock final : public Clock {
  public:
    std::uint32_t tickCount() override {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                        static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
        return static_cast<std::uint32_t>(ms);
    }

    void sleep(std::uint32_t milliseconds) override {
        timespec wait{static_cast<time_t>(milliseconds / 1000),
                      static_cast<long>(milliseconds % 1000) * 1000000L};
        while (nanosleep(&wait, &wait) != 0) {
        }
    }
};

}  // namespace

std::unique_ptr<Clock> makeSystemClock() {
    return std::make_unique<MonotonicClock>();
}

}  // namespace vorlanth::platform
