// The far ends that the link tests talk to on the real system: a UDP endpoint on the
// loopback address and a serial port whose other side answers a small command set. Each OS
// folder implements them; the answers themselves are shared (farEndReplies).
#pragma once

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
//   "JOIN"    → "FA\r" (also "JOIN\r")
//   "MID"     → "A\rB", then "\r"
//   "BIG"     → "FAAA" (too long for the response space)
//   "STALE"   → "FF\r" at once
//   "LATE"    → "FF\r" 400 ms later (also "LATE\r")
//   "DOUBLE"  → "FA\r", then "FF\r" 50 ms later (also "DOUBLE\r")
// Anything else gets no answer. A serial far end hangs up on "HANGUP\r": it closes its side
// of the line for good.
std::vector<Reply> farEndReplies(std::string_view command);

// Handles (descriptors on POSIX) this process holds open now; nothing where the system cannot
// count them.
std::optional<int> openHandleCount();

// User plus system CPU time of this process, in milliseconds.
double processCpuMs();

// A datagram endpoint on 127.0.0.1 at a port the system picks, answering every datagram it
// receives with farEndReplies on a thread of its own.
class LoopbackPeer {
  public:
    static std::unique_ptr<LoopbackPeer> start();
    virtual ~LoopbackPeer() = default;
    virtual std::uint16_t port() = 0;
    // Every byte received so far, datagrams joined in order; they are forgotten.
    virtual Bytes takeReceived() = 0;
};

// What a serial far end plays: the terminal alone, or the terminal behind an infrared cradle
// (it also echoes the probe byte 0x0F and ignores the cradle's other commands, 0x07, a rate
// digit and "Q", at the start of a line).
enum class FarEndRole { Terminal, Cradle };

// A serial line as its far end sees the device set.
struct ObservedLine {
    std::uint32_t rate = 0;
    int dataBits = 0;
    bool parity = false;
    bool twoStopBits = false;
    bool ctsFlow = false;
    bool xonXoffOutput = false;
};

// The far end of a serial port that answers with farEndReplies; nullptr when this system
// has none to offer (Windows without a pseudo-terminal linked to a COM port).
class SerialFarEnd {
  public:
    static std::unique_ptr<SerialFarEnd> start(FarEndRole role = FarEndRole::Terminal);
    virtual ~SerialFarEnd() = default;
    virtual int comPort() = 0;
    // The line the device runs on now; nothing where the system gives no second look at an
    // open port.
    virtual std::optional<ObservedLine> observeLine() = 0;
    // Every byte received so far, in order, forgotten once taken; nothing where the far end
    // runs outside this process.
    virtual std::optional<Bytes> takeReceived() = 0;
};

}  // namespace vorlanth::platform_tests
