#include "link/link.h"

#include <algorithm>
#include <string>

#include "common/text.h"

namespace vorlanth::link {

namespace {

constexpr std::uint8_t kCarriageReturn = 0x0D;

// The failure of a read or send with no link open (a reopening for a retry failed).
FailureDetail linkNotOpen(const Link& link) {
    return objectFailure(link.isNetwork() ? std::string(link.settings.targetAddress.view())
                                          : comPortName(link.settings.comPort),
                         "the link is not open");
}

// Appends a received byte to the response line; bytes beyond its 15 characters are dropped.
void appendToLine(ResponseLine& line, std::size_t& count, std::uint8_t byte) {
    if (count < ResponseLine::kCapacity) {
        line.bytes[count] = static_cast<char>(byte);
        ++count;
    }
}

}  // namespace

// An empty chunk is not reported; the tick is taken when the report is made.
void reportWireChunk(Link& link, WireDirection direction, std::span<const std::uint8_t> bytes) {
    if (link.observer != nullptr && !bytes.empty()) {
        link.observer->onWireChunk(direction, bytes, link.clock().tickCount());
    }
}

void noteFailure(Link& link, FailureDetail detail) {
    if (link.failure != nullptr) {
        *link.failure = std::move(detail);
    }
}

// Only the framing, the modem lines and output flow control change; the rate and the other
// fields stay as they are.
void setPlainSerialLine(platform::LineSettings& line) {
    line.byteSize = 8;
    line.parity = platform::Parity::None;
    line.stopBits = platform::StopBits::One;
    line.outxCtsFlow = false;
    line.outX = false;
    line.dtrControl = platform::LineControl::Enable;
    line.rtsControl = platform::LineControl::Enable;
}

// The plain serial line at the rate by baudIndex; an index without a rate leaves the rate as
// it is (0 after resetPass).
void applySerialLineSettings(Link& link) {
    platform::LineSettings& line = link.state.lineSettings;
    const int index = link.settings.baudIndex;
    if (index >= 0 && index < static_cast<int>(kBaudRates.size())) {
        line.baudRate = kBaudRates[static_cast<std::size_t>(index)];
    }
    setPlainSerialLine(line);
}

// Reads return at once with what has arrived; a write gives up after 5 ms per byte + 50 ms.
void applyUploadTimeouts(Link& link) {
    if (link.state.portHandle) {
        platform::SerialTimeouts timeouts;
        timeouts.readIntervalMs = 0xFFFFFFFFu;
        timeouts.readTotalMultiplierMs = 0;
        timeouts.readTotalConstantMs = 0;
        timeouts.writeTotalMultiplierMs = 5;
        timeouts.writeTotalConstantMs = 50;
        link.state.portHandle->setTimeouts(timeouts);
    }
}

// Network: the network link's code. Serial kinds: open the COM port, queue sizes, the line
// settings (Serial) or the cradle set-up (CradleIr), then apply the settings once more.
ResultCode openLink(Link& link) {
    if (link.settings.linkType >= Network) {
        const ResultCode code = openNetworkLink(link, link.settings.targetAddress.view(), 0);
        return code < 1 ? code : 1;
    }
    link.state.portHandle = link.platform.openSerialPort(link.settings.comPort, link.failure);
    if (!link.state.portHandle) {
        return result::kCantOpenComPort;
    }
    link.state.portHandle->setQueueSizes(kInputQueueBytes, kOutputQueueBytes);
    if (link.settings.linkType == Serial) {
        applySerialLineSettings(link);
    } else if (configureCradle(link) == 0) {
        // The port stays open until the next closeLink.
        return result::kCantConfigureIrDevice;
    }
    // Whether the driver accepts the settings is not examined: the open goes on either way.
    link.state.portHandle->applyLineSettings(link.state.lineSettings);
    return 1;
}

// Releases the socket (and its library start-up) or purges and closes the port.
void closeLink(Link& link) {
    // Whatever is open is released, whichever link type is chosen now, so that a change of
    // link type between passes can never leave a port or socket behind.
    if (link.state.socketHandle) {
        link.state.socketHandle.reset();
    }
    if (link.state.socketLibraryStarted) {
        link.platform.sockets().cleanup();
        link.state.socketLibraryStarted = false;
    }
    if (link.state.portHandle) {
        link.state.portHandle->purge();
        link.state.portHandle.reset();
    }
}

// Reads up to a CR (serial: the first CR; network: a datagram ending in CR) or until the
// tick count passes the deadline. Every wait is in the OS and ends when input arrives. A lost
// line, a failed receive, a link that is not open or a stop request ends the read at once.
int readResponseLine(Link& link, std::int32_t seconds) {
    ResponseLine& line = link.responseLine;
    line.clear();
    std::size_t count = 0;
    platform::Clock& clock = link.clock();
    // A deadline must stay within half the tick counter's range to compare correctly.
    constexpr std::int32_t kLongestSeconds = 24 * 60 * 60;
    const std::int32_t bounded = seconds < 0 ? 0 : std::min(seconds, kLongestSeconds);
    const std::uint32_t deadline = clock.tickCount() + static_cast<std::uint32_t>(bounded) * 1000u;
    bool ended = false;
    while (!ended) {
        if (link.platform.stopRequested() != 0) {
            return 0;
        }
        // Wait in the OS until a byte arrives or the tick count passes the deadline.
        const std::uint32_t waitMs = platform::millisecondsUntil(clock.tickCount(), deadline) + 1;
        if (link.isNetwork()) {
            if (!link.state.socketHandle) {
                noteFailure(link, linkNotOpen(link));
                return 0;
            }
            std::array<std::uint8_t, 3> datagram{};
            const platform::ReceiveResult received =
                link.state.socketHandle->receive(datagram, waitMs, link.failure);
            if (received.status == platform::ReceiveStatus::Failed) {
                return 0;
            }
            if (received.status == platform::ReceiveStatus::Received && received.count > 0) {
                const std::span<const std::uint8_t> bytes(datagram.data(), received.count);
                reportWireChunk(link, WireDirection::Received, bytes);
                // The line ends when a datagram's last byte is CR; a CR inside stays in the text.
                const bool endsLine = bytes.back() == kCarriageReturn;
                const std::size_t keep = endsLine ? bytes.size() - 1 : bytes.size();
                for (std::size_t i = 0; i < keep; ++i) {
                    appendToLine(line, count, bytes[i]);
                }
                ended = endsLine;
            }
        } else if (link.state.portHandle) {
            std::uint8_t byte = 0;
            const platform::ReadStatus status =
                link.state.portHandle->readByte(byte, waitMs, link.failure);
            if (status == platform::ReadStatus::Failed) {
                return 0;
            }
            if (status == platform::ReadStatus::Byte) {
                reportWireChunk(link, WireDirection::Received,
                                std::span<const std::uint8_t>(&byte, 1));
                if (byte == kCarriageReturn) {
                    ended = true;
                } else {
                    appendToLine(line, count, byte);
                }
            }
        } else {
            noteFailure(link, linkNotOpen(link));
            return 0;
        }
        if (platform::tickIsAfter(clock.tickCount(), deadline)) {
            break;
        }
    }
    return 1;
}

// Drops waiting input, sends the bytes in one write or datagram, and reads the answer. A send
// that fails or times out is left to the read (nothing will come), except a serial write that
// finds the line lost, which ends the exchange at once.
int exchange(Link& link, std::span<const std::uint8_t> bytes) {
    if (link.platform.stopRequested() != 0) {
        return 0;
    }
    // An answer that arrived late for an earlier send must not pass for the answer to this one.
    if (link.isNetwork()) {
        if (link.state.socketHandle) {
            link.state.socketHandle->discardPending();
            link.state.socketHandle->send(bytes);
            reportWireChunk(link, WireDirection::Sent, bytes);
        }
    } else if (link.state.portHandle) {
        link.state.portHandle->discardInput();
        if (link.state.portHandle->write(bytes, link.failure) < 0) {
            return 0;
        }
        reportWireChunk(link, WireDirection::Sent, bytes);
    }
    return readResponseLine(link, kExchangeDeadlineSeconds);
}

}  // namespace vorlanth::link
