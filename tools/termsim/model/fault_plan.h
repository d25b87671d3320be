// Seeded, reproducible choice of the faults the virtual terminal injects.
#pragma once

#include "time_units.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorlanth::termsim {

// What the terminal does wrong with the answer to one frame.
enum class FaultKind : uint8_t {
    None,
    AnswerFn,           // answers "FN" and does not take the frame
    AnswerFf,           // answers "FF" and does not take the frame
    AnswerNak,          // answers "NAK" and does not take the frame
    Garbage,            // answers a line of random characters and does not take the frame
    Silent,             // answers nothing and does not take the frame
    Late,               // takes the frame, answers correctly after the late delay
    Split,              // takes the frame, answers correctly in several writes
    DropDatagram,       // UDP: takes the frame, one datagram of the answer is lost
    DuplicateDatagram,  // UDP: takes the frame, one datagram of the answer arrives twice
    ReorderDatagrams,   // UDP: takes the frame, the answer's datagrams arrive in reverse order
};

// The option word of a fault kind ("fn", "late", ...).
std::string_view faultKindName(FaultKind kind);

// Parses an option word into a fault kind; nullopt for an unknown word.
std::optional<FaultKind> parseFaultKind(std::string_view word);

// True for the kinds that only make sense on a datagram link.
bool isDatagramFault(FaultKind kind);

// True for the kinds after which the terminal behaves as if the frame never arrived.
bool faultRejectsFrame(FaultKind kind);

struct FaultConfig {
    uint64_t seed = 1;
    double rate = 0.0;                 // chance per eligible frame
    std::vector<FaultKind> kinds;      // kinds drawn from; empty = defaultFaultKinds()
    std::map<uint64_t, FaultKind> at;  // frame number -> kind (None = draw one)
    bool commandsToo = false;          // rate also hits commands, not only records and blocks
    Micros lateUs = 9'000'000;         // beyond the loader's 8-second deadline
    Micros splitGapUs = 5'000;         // pause between the pieces of a split answer
};

// The kinds drawn from when none are named: those a loader is expected to recover from.
std::vector<FaultKind> defaultFaultKinds();

// A small deterministic generator (splitmix64) so runs repeat on every platform.
class SeededRandom {
  public:
    explicit SeededRandom(uint64_t seed) : state_(seed) {}
    uint64_t next();
    // A value in [0, bound); bound must be above 0.
    uint64_t below(uint64_t bound) { return next() % bound; }
    // A value in [0, 1).
    double unit() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

  private:
    uint64_t state_;
};

// How the answer to one frame goes out once its fault has had its say.
struct AnswerShape {
    bool silent = false;           // nothing is sent
    std::string word;              // the word sent, without its CR
    std::optional<Micros> lateBy;  // set: sent this much late, outside the line's queue
    std::size_t pieces = 1;        // written in this many pieces ...
    Micros pieceGap = 0;           // ... with this pause between them
    FaultKind datagramFault = FaultKind::None;  // for a datagram link to apply
};

// Decides the fault for each frame from the seed and the frame number alone, so
// the same upload meets the same faults however its bytes are split into reads.
// It owns every fault decision: which frames are hit, what their answer becomes,
// and which datagrams of it are lost, repeated or reordered.
class FaultPlan {
  public:
    explicit FaultPlan(FaultConfig config);

    // The fault for frame `frameNumber` (counted from 1); dataFrame is true for records and blocks.
    FaultKind decide(uint64_t frameNumber, bool dataFrame) const;

    // What the answer `word` to frame `frameNumber` becomes under `fault`.
    AnswerShape shapeAnswer(uint64_t frameNumber, FaultKind fault, std::string_view word) const;

    // A generator private to one frame, for the random parts of its fault.
    SeededRandom randomFor(uint64_t frameNumber) const;

  private:
    FaultConfig config_;
};

// Cuts answer bytes into datagrams of at most maxSize bytes and applies a datagram fault.
std::vector<std::vector<uint8_t>> splitIntoDatagrams(std::span<const uint8_t> bytes, size_t maxSize,
                                                     FaultKind fault, SeededRandom& random);

}  // namespace vorlanth::termsim
