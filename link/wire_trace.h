// WireObserver: what sees every chunk sent to or received from the terminal, with its tick
// (the console's --trace printer, tests that pin the wire).
#pragma once

#include <cstdint>
#include <span>

namespace vorlanth::link {

enum class WireDirection { Sent, Received };

// Observer of the traffic on the link: every chunk sent or received, with its tick.
class WireObserver {
  public:
    virtual ~WireObserver() = default;
    virtual void onWireChunk(WireDirection direction, std::span<const std::uint8_t> bytes,
                             std::uint32_t tick) = 0;
};

}  // namespace vorlanth::link
