// Prints sent chunks at once and gathers received bytes into one line up to a CR or the next
// send, each with milliseconds since the first.
#include "ui/console/trace_printer.h"

#include <string>

namespace vorlanth::ui::console {

void TracePrinter::onWireChunk(link::WireDirection direction, std::span<const std::uint8_t> bytes,
                               std::uint32_t tick) {
    if (!startTick_) {
        startTick_ = tick;
    }
    if (direction == link::WireDirection::Sent) {
        flush();
        print('>', bytes, tick);
        return;
    }
    for (const std::uint8_t byte : bytes) {
        if (received_.empty()) {
            receivedTick_ = tick;
        }
        received_.push_back(byte);
        if (byte == 0x0D) {
            flush();
        }
    }
}

void TracePrinter::flush() {
    if (!received_.empty()) {
        print('<', received_, receivedTick_);
        received_.clear();
    }
}

void TracePrinter::print(char arrow, std::span<const std::uint8_t> bytes, std::uint32_t tick) {
    const std::uint32_t elapsed = tick - startTick_.value_or(tick);
    // Sixteen bytes a row; the first row carries the time and direction.
    constexpr std::size_t kRow = 16;
    for (std::size_t offset = 0; offset < bytes.size(); offset += kRow) {
        std::string hex;
        std::string ascii;
        for (std::size_t i = offset; i < bytes.size() && i < offset + kRow; ++i) {
            char pair[4];
            std::snprintf(pair, sizeof pair, "%02X ", bytes[i]);
            hex += pair;
            ascii += bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '.';
        }
        if (offset == 0) {
            std::fprintf(stream_, "%8u ms %c ", elapsed, arrow);
        } else {
            std::fprintf(stream_, "%13s", "");
        }
        std::fprintf(stream_, "%-48s %s\n", hex.c_str(), ascii.c_str());
    }
    std::fflush(stream_);
}

}  // namespace vorlanth::ui::console
