// The notes of what became of each frame, shown by --trace.
#pragma once

#include "fault_plan.h"
#include "framing.h"
#include "time_units.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorlanth::termsim {

// What happened to one frame.
struct FrameTrace {
    std::uint64_t number = 0;
    Micros atUs = 0;
    FrameKind kind = FrameKind::Command;
    std::string description;
    std::string answer;  // the word sent, after any fault; "" when nothing was sent
    FaultKind fault = FaultKind::None;
};

// Gathers the notes when asked to keep them; otherwise keeps none, so a long run
// without --trace does not pile them up.
class FrameTraceLog {
  public:
    explicit FrameTraceLog(bool keep) : keep_(keep) {}

    // False when notes are dropped: callers then need not describe their frames.
    bool keeping() const { return keep_; }

    // Keeps one note, if notes are kept.
    void note(FrameTrace entry);

    // Hands over the notes gathered so far.
    std::vector<FrameTrace> take();

  private:
    bool keep_;
    std::vector<FrameTrace> notes_;
};

// "\"TOLVEX\\r\"": the command as sent, its CR shown.
std::string describeCommand(std::string_view text);

// "S3 0x00001000 n=64", with the problem in brackets when there is one.
std::string describeRecord(std::span<const std::uint8_t> frame, std::string_view problem);

// "block of 64", with "(bad checksum)" when the check failed.
std::string describeBlock(std::size_t payloadSize, bool good);

// "N unreadable bytes".
std::string describeUnreadable(std::size_t count);

}  // namespace vorlanth::termsim
