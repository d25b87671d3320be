// The parts every transport shares: the wire trace of each chunk, and the reading of one
// answer line from the chunks a line delivers.
#include "link/transport.h"

namespace vorlanth::link {

namespace {

constexpr std::uint8_t kCarriageReturn = 0x0D;

}  // namespace

// The tick is taken when the report is made.
void Transport::report(WireDirection direction, std::span<const std::uint8_t> bytes) {
    if (observer_ != nullptr && !bytes.empty()) {
        observer_->onWireChunk(direction, bytes, platform_.clock().tickCount());
    }
}

// The chunk is reported once the line took it.
Status Transport::send(std::span<const std::uint8_t> bytes) {
    Status sent = write(bytes);
    if (sent) {
        report(WireDirection::Sent, bytes);
    }
    return sent;
}

// The line ends when a chunk's last byte is CR, which is dropped; a CR inside a chunk (a
// datagram) stays in the text. A serial line delivers one byte at a time, so there the line
// ends at the first CR and what follows stays queued. Characters beyond the line's capacity
// are dropped. Each wait lasts at most until the tick after the deadline and ends when input
// arrives; the deadline is looked at after every chunk, so even a deadline already passed
// reads once.
Result<LineEnd> Transport::readLine(ResponseLine& line, std::uint32_t deadline) {
    line.clear();
    std::size_t count = 0;
    platform::Clock& clock = platform_.clock();
    for (;;) {
        if (platform_.stopRequested() != 0) {
            return LineEnd::Stopped;
        }
        const std::uint32_t waitMs = platform::millisecondsUntil(clock.tickCount(), deadline) + 1;
        Result<std::span<const std::uint8_t>> received = receive(waitMs);
        if (!received) {
            return std::move(received).failure();
        }
        const std::span<const std::uint8_t> bytes = *received;
        if (!bytes.empty()) {
            report(WireDirection::Received, bytes);
            const bool endsLine = bytes.back() == kCarriageReturn;
            for (const std::uint8_t byte :
                 bytes.first(endsLine ? bytes.size() - 1 : bytes.size())) {
                if (count < ResponseLine::kCapacity) {
                    line.bytes[count] = static_cast<char>(byte);
                    ++count;
                }
            }
            if (endsLine) {
                return LineEnd::CarriageReturn;
            }
        }
        if (platform::tickIsAfter(clock.tickCount(), deadline)) {
            return LineEnd::Deadline;
        }
    }
}

}  // namespace vorlanth::link
