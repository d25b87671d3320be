#pragma once

#include <cstdint>
#include <span>

#include "common/failure_detail.h"

namespace vorlanth::platform {

enum class Parity : std::uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };
enum class StopBits : std::uint8_t { One = 0, OneAndHalf = 1, Two = 2 };
// How a handshake line (DTR, RTS) is driven while the port is open.
enum class LineControl : std::uint8_t { Disable = 0, Enable = 1, Handshake = 2, Toggle = 3 };

// The serial line-settings record. A value-initialised record has every field zero or off.
struct LineSettings {
    std::uint32_t baudRate = 0;
    std::uint8_t byteSize = 0;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    LineControl dtrControl = LineControl::Disable;
    LineControl rtsControl = LineControl::Disable;
    bool outxCtsFlow = false;
    bool outxDsrFlow = false;
    bool dsrSensitivity = false;
    bool outX = false;
    bool inX = false;
    bool parityCheck = false;
    bool errorCharReplace = false;
    bool nullStrip = false;
    bool abortOnError = false;
    bool txContinueOnXoff = false;
    std::uint16_t xonLimit = 0;
    std::uint16_t xoffLimit = 0;
    char xonChar = 0;
    char xoffChar = 0;
    char errorChar = 0;
    char eofChar = 0;
    char eventChar = 0;

    bool operator==(const LineSettings&) const = default;
};

// Serial time-outs in milliseconds, with the meaning the comm API gives them.
struct SerialTimeouts {
    std::uint32_t readIntervalMs = 0;
    std::uint32_t readTotalMultiplierMs = 0;
    std::uint32_t readTotalConstantMs = 0;
    std::uint32_t writeTotalMultiplierMs = 0;
    std::uint32_t writeTotalConstantMs = 0;

    bool operator==(const SerialTimeouts&) const = default;
};

// Failed: the device reported an error or the line was lost (the far end hung up, an adapter
// was pulled); the read returns at once and the line is of no further use.
enum class ReadStatus { Byte, Nothing, Failed };

// An open serial device, held exclusively; closing happens when the object is destroyed.
class SerialPort {
  public:
    virtual ~SerialPort() = default;
    // Requests the device queue sizes in bytes.
    virtual bool setQueueSizes(std::uint32_t inputBytes, std::uint32_t outputBytes) = 0;
    // Reads the device's current line settings.
    virtual bool readLineSettings(LineSettings& settings) = 0;
    // Applies line settings: rate, framing, DTR and RTS, output flow control.
    virtual bool applyLineSettings(const LineSettings& settings) = 0;
    // Sets the read and write time-outs that later reads and writes run under.
    virtual bool setTimeouts(const SerialTimeouts& timeouts) = 0;
    // Writes the bytes in one write; returns the count written (fewer when the write time-out
    // passed), or -1 when the device failed or the line was lost, with why saying so.
    virtual std::int64_t write(std::span<const std::uint8_t> bytes,
                               FailureDetail* why = nullptr) = 0;
    // Reads at most one byte. Returns at once when a byte is there; otherwise waits in the
    // OS for at most waitMs (0: do not wait) and returns the moment one arrives, or earlier
    // (with Nothing) when a stop of the run is requested. Failed comes at once, with why.
    virtual ReadStatus readByte(std::uint8_t& byte, std::uint32_t waitMs,
                                FailureDetail* why = nullptr) = 0;
    // Discards pending and queued data in both directions (abort and clear output and input).
    virtual void purge() = 0;
    // Discards input already received and not yet read.
    virtual void discardInput() = 0;
};

}  // namespace vorlanth::platform
