#pragma once

// The far ends that the link tests talk to on the real system: a UDP endpoint on the
// loopback address and a serial port whose other side answers a small command set. Each OS
// folder implements them; the answers themselves are shared (farEndReplies).

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorlanth::platform_tests {

using Bytes = std::vector<std::uint8_t>;

// One answer of a far end: bytes sent after a pause.
struct Reply {
    std::string bytes;
    std::uint32_t delayMs;
};

// What a far end answers to a command (a serial line up to its CR, or one datagram):
//   "PING\r"  → "FA", then 300 ms later the CR (200 ms after the command)
//   "STALE\r" → "FF\r" at once
//   "SPLIT"   → "F", "A", "\r" as three datagrams
//   "JOIN"    → "FA\r"
//   "MID"     → "A\rB", then "\r"
//   "BIG"     → "FAAA" (too long for the response space)
//   "STALE"   → "FF\r" at once
// Anything else gets no answer. A serial far end hangs up on "HANGUP\r": it closes its side
// of the line for good.
std::vector<Reply> farEndReplies(std::string_view command);

// User plus system CPU time of this process, in milliseconds.
double processCpuMs();

// A datagram endpoint on 127.0.0.1 at a port the system picks, answering every datagram it
// receives with farEndReplies on a thread of its own.
class LoopbackPeer {
  public:
    static std::unique_ptr<LoopbackPeer> start();
    virtual ~LoopbackPeer() = default;
    virtual std::uint16_t port() = 0;
};

// The far end of a serial port that answers with farEndReplies; nullptr when this system
// has none to offer (Windows without a pseudo-terminal linked to a COM port).
class SerialFarEnd {
  public:
    static std::unique_ptr<SerialFarEnd> start();
    virtual ~SerialFarEnd() = default;
    virtual int comPort() = 0;
};

}  // namespace vorlanth::platform_tests
