// The Win32 clock: GetTickCount ticks, and sleeps that wait on the stop event so that a stop
// ends them early.
#include <windows.h>

#include "platform/system_parts.h"
#include "platform/win32/stop_wait.h"

namespace vorlanth::platform {

namespace {

class TickCountClock final : public Clock {
  public:
    std::uint32_t tickCount() override { return GetTickCount(); }
    // A wait on the stop event, when there is one: it ends early when a stop is asked.
    void sleep(std::uint32_t milliseconds) override {
        if (stopEvent() != nullptr) {
            WaitForSingleObject(stopEvent(), milliseconds);
        } else {
            Sleep(milliseconds);
        }
    }
};

}  // namespace

std::unique_ptr<Clock> makeSystemClock() {
    return std::make_unique<TickCountClock>();
}

}  // namespace vorlanth::platform
