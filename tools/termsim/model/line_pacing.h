// The emulated serial line: 10 bits a byte at a set rate, one direction per PacedLine.
#pragma once

#include "time_units.h"

#include <compare>
#include <cstddef>
#include <cstdint>

namespace vorlanth::termsim {

// A moment on the emulated line. It is kept finer than a microsecond because a byte at
// 115200 bit/s lasts 86.805 us: rounding every byte to whole microseconds would drift by
// a microsecond every few bytes. It is read out in microseconds, rounded up, so nothing
// is due before the line has delivered it.
class LineTime {
  public:
    LineTime() = default;

    // The moment `time` on the caller's clock.
    static LineTime at(Micros time) { return LineTime(time * kNanosPerMicro); }

    // This moment plus a duration.
    LineTime plus(Micros duration) const { return LineTime(nanos_ + duration * kNanosPerMicro); }

    // The microsecond at or after this moment.
    Micros roundedUp() const { return (nanos_ + kNanosPerMicro - 1) / kNanosPerMicro; }

    friend auto operator<=>(const LineTime&, const LineTime&) = default;

  private:
    friend class PacedLine;
    static constexpr std::uint64_t kNanosPerMicro = 1'000;

    explicit LineTime(std::uint64_t nanos) : nanos_(nanos) {}

    std::uint64_t nanos_ = 0;  // the line's own resolution, private to this unit
};

// One direction of the line. Bytes queue behind those it still carries; rate 0 means no
// pacing, every byte delivered the moment it is handed over.
class PacedLine {
  public:
    explicit PacedLine(std::uint32_t baud);

    // Hands `count` bytes to the line at `ready`; returns when the last one is delivered.
    LineTime carry(LineTime ready, std::size_t count);

    // When `count` bytes handed over at `ready` would be delivered on an idle line; the
    // line stays as it was (an answer sent outside its queue).
    LineTime deliveredAlone(LineTime ready, std::size_t count) const;

  private:
    std::uint64_t byteNanos_ = 0;
    LineTime free_;  // when the line has delivered everything handed to it
};

}  // namespace vorlanth::termsim
