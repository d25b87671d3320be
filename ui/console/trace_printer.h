// TracePrinter: --trace's view of the wire, every chunk as hex and ASCII with its time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "link/wire_trace.h"

namespace vorlanth::ui::console {

// Prints the traffic on the link as hex with ASCII and the milliseconds since the first tick
// it saw: "   123 ms > 53 33 08 ...  S3..". A serial link delivers answers a byte at a time;
// received bytes are gathered into one line up to a CR or the next send.
class TracePrinter final : public link::WireObserver {
  public:
    explicit TracePrinter(std::FILE* stream) : stream_(stream) {}
    ~TracePrinter() override { flush(); }
    TracePrinter(const TracePrinter&) = delete;
    TracePrinter& operator=(const TracePrinter&) = delete;

    void onWireChunk(link::WireDirection direction, std::span<const std::uint8_t> bytes,
                     std::uint32_t tick) override;
    // Prints received bytes still gathered.
    void flush();

  private:
    void print(char arrow, std::span<const std::uint8_t> bytes, std::uint32_t tick);

    std::FILE* stream_;
    std::optional<std::uint32_t> startTick_;
    std::vector<std::uint8_t> received_;
    std::uint32_t receivedTick_ = 0;
};

}  // namespace vorlanth::ui::console
