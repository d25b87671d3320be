// A serial port as the core sees it: a line described the way a serial library describes one
// (rate, framing, flow control, DTR and RTS levels, write and read deadlines), and the byte
// reads and writes the link runs on. Each OS folder builds its own structures from it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "common/result.h"

namespace vorlanth::platform {

enum class Parity : std::uint8_t { None, Odd, Even };
enum class StopBits : std::uint8_t { One, Two };
// Whether the device may hold back what it sends: never, while CTS is off, or after an XOFF.
enum class FlowControl : std::uint8_t { None, RtsCts, XonXoff };

// What becomes of the device's own settings that a SerialLine does not describe (input flow
// control, special and error characters, error handling): cleared, for a line described from
// scratch, or kept as the device had them when the port was first set.
enum class OtherSettings : std::uint8_t { Cleared, AsFound };

// A serial line: what a port is set to.
struct SerialLine {
    std::uint32_t rate = 0;  // bit/s
    std::uint8_t dataBits = 8;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    FlowControl flowControl = FlowControl::None;
    bool dtr = true;  // DTR on while the port is open
    bool rts = true;  // RTS on while the port is open
    OtherSettings otherSettings = OtherSettings::Cleared;

    bool operator==(const SerialLine&) const = default;
};

// How long one write may take: perByteMs for each byte written plus extraMs. Both 0: the
// write has no deadline of its own (the platform still bounds it).
struct WriteTimeout {
    std::uint32_t perByteMs = 0;
    std::uint32_t extraMs = 0;

    bool operator==(const WriteTimeout&) const = default;
};

// An open serial device, held exclusively; closing happens when the object is destroyed.
// Reads have no standing time-out: each read returns at once with a byte that is there, or
// waits for one no longer than the deadline it is given.
class SerialPort {
  public:
    virtual ~SerialPort() = default;
    // Sets the line. A failure says what the device refused; the port stays usable, on the
    // line it had (or as much of the new one as the device took).
    virtual Status applyLine(const SerialLine& line) = 0;
    // Bounds every later write by timeout.
    virtual Status setWriteTimeout(const WriteTimeout& timeout) = 0;
    // Writes the bytes in one write: the count written (fewer when the write deadline passed),
    // or why the line was lost (the device failed, the far end hung up).
    virtual Result<std::size_t> write(std::span<const std::uint8_t> bytes) = 0;
    // Reads at most one byte: at once when one is there, else waiting in the OS for at most
    // waitMs (0: not at all) and taking it the moment it arrives. Nothing when none came in
    // time or a stop of the run was requested; the failure when the line was lost.
    virtual Result<std::optional<std::uint8_t>> readByte(std::uint32_t waitMs) = 0;
    // Discards pending and queued data in both directions (abort and clear output and input).
    virtual void purge() = 0;
    // Discards input already received and not yet read.
    virtual void discardInput() = 0;
};

}  // namespace vorlanth::platform
