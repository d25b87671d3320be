#include "frame_trace.h"

#include <cstdio>
#include <utility>

namespace vorlanth::termsim {

// Only while notes are kept.
void FrameTraceLog::note(FrameTrace entry) {
    if (keep_) {
        notes_.push_back(std::move(entry));
    }
}

// Empties the log.
std::vector<FrameTrace> FrameTraceLog::take() {
    return std::exchange(notes_, {});
}

// The lone "\r" shows as just its CR.
std::string describeCommand(std::string_view text) {
    return "\"" + std::string(text) + "\\r\"";
}

// Type, address and data length; a frame too short for them says its length.
std::string describeRecord(std::span<const std::uint8_t> frame, std::string_view problem) {
    char text[64];
    if (frame.size() < 9) {
        std::snprintf(text, sizeof text, "short record (%zu bytes)", frame.size());
    } else {
        std::snprintf(text, sizeof text, "S%c 0x%08X n=%zu", static_cast<char>(frame[1]),
                      static_cast<unsigned>(recordAddress(frame)), frame.size() - 9);
    }
    std::string description = text;
    if (!problem.empty()) {
        description += " (" + std::string(problem) + ")";
    }
    return description;
}

// The payload size, without the checksum byte.
std::string describeBlock(std::size_t payloadSize, bool good) {
    return "block of " + std::to_string(payloadSize) + (good ? "" : " (bad checksum)");
}

// Bytes that made no frame, skipped ones included.
std::string describeUnreadable(std::size_t count) {
    return std::to_string(count) + " unreadable bytes";
}

}  // namespace vorlanth::termsim
