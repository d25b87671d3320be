#include <windows.h>

#include "platform/system_parts.h"

namespace vorlanth::platform {

namespace {

class TickCountClock final : public Clock {
  public:
    std::uint32_t tickCount() override { return GetTickCount(); }
    void sleep(std::uint32_t milliseconds) override { Sleep(milliseconds); }
};

}  // namespace

std::unique_ptr<Clock> makeSystemClock() {
    return std::make_unique<TickCountClock>();
}

}  // namespace vorlanth::platform
