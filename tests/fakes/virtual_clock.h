#pragma once

#include <cstdint>
#include <vector>

#include "platform/clock.h"

namespace vorlanth::fakes {

// A clock that moves only when something waits on it, so long deadlines cost no real time
// and their lengths can be asserted exactly.
class VirtualClock final : public platform::Clock {
  public:
    std::uint32_t tickCount() override { return now_; }
    void sleep(std::uint32_t milliseconds) override {
        sleeps.push_back(milliseconds);
        now_ += milliseconds;
    }
    // Moves the clock forward without recording a sleep (a wait inside a fake device).
    void advance(std::uint32_t milliseconds) { now_ += milliseconds; }
    void advanceTo(std::uint32_t tick) {
        if (platform::tickIsAfter(tick, now_)) {
            now_ = tick;
        }
    }
    void set(std::uint32_t tick) { now_ = tick; }

    std::vector<std::uint32_t> sleeps;

  private:
    std::uint32_t now_ = 1000;
};

}  // namespace vorlanth::fakes
