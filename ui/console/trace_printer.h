#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

#include "link/wire_trace.h"

namespace vorlanth::ui::console {

// Prints every chunk on the link as hex with ASCII and the milliseconds since the first tick
// it saw: "   123 ms > 53 33 08 ...  S3.."
class TracePrinter final : public link::WireObserver {
  public:
    explicit TracePrinter(std::FILE* stream) : stream_(stream) {}
    void onWireChunk(link::WireDirection direction, std::span<const std::uint8_t> bytes,
                     std::uint32_t tick) override;

  private:
    std::FILE* stream_;
    std::optional<std::uint32_t> startTick_;
};

}  // namespace vorlanth::ui::console
