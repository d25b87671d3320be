// The terminal's side of the download protocol, driven by bytes and a microsecond clock.
//
// The model holds no handles and reads no clock: a transport feeds it what arrived
// and when, and takes back the answers that are due, each with the time at which it
// is to be written. Line pacing, flash write time, the erase wait and injected faults
// all show up as those due times, so tests drive it with a virtual clock.
#pragma once

#include "fault_plan.h"
#include "memory_image.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorlanth::termsim {

// How the terminal answers the first "\r" of the download handshake.
enum class EntryStyle {
    ReadyFn,  // "FN": already in download mode
    ReadyFf,  // "FF": already in download mode
    LongWay,  // an empty line; "MERIDOX\r" -> "ACK1", "DOWNLOAD\r" -> "ACK2"
};

// How the terminal answers "TOLVEX\r".
enum class BasicMode {
    Plain,     // "ACK": blocks without checksum byte
    Checksum,  // "FK": "000300\r" follows, then every block carries a checksum byte
};

struct ModelConfig {
    EntryStyle entry = EntryStyle::ReadyFn;
    BasicMode basic = BasicMode::Plain;
    uint32_t eraseMs =
        0;              // 0: ":ERASE\r" answered "FA" at once; else "FB", then "FA" this much later
    uint32_t baud = 0;  // 0: no line pacing; else 10 bits a byte at this rate, both ways
    uint32_t writeMs = 0;       // flash write time for each data record and BASIC block
    uint32_t frameGapMs = 250;  // silence after which an incomplete frame is given up
    bool keepTrace = true;      // note every frame for takeTrace (--trace); off, none is kept
    FaultConfig faults;
};

// One write the transport is to make at dueUs (microseconds, on the caller's clock).
struct Emission {
    uint64_t dueUs = 0;
    uint64_t dueMs = 0;  // dueUs rounded up to its millisecond, for a millisecond clock
    std::vector<uint8_t> bytes;
    uint64_t frame = 0;                         // the frame this answers
    FaultKind datagramFault = FaultKind::None;  // drop/dup/reorder, applied by a datagram link
};

enum class FrameKind { Command, Record, Block, Damaged };

// What happened to one frame, for the trace.
struct FrameTrace {
    uint64_t number = 0;
    uint64_t atMs = 0;
    FrameKind kind = FrameKind::Command;
    std::string description;
    std::string answer;  // the word sent, after any fault; "" when nothing was sent
    FaultKind fault = FaultKind::None;
};

struct ModelStats {
    uint64_t frames = 0;
    uint64_t commands = 0;
    uint64_t records = 0;
    uint64_t blocks = 0;
    uint64_t damaged = 0;
    uint64_t bytesIn = 0;
    uint64_t bytesOut = 0;
    uint64_t faults = 0;
    uint64_t firstFrameNs = 0;  // when the first frame ended (its last byte arrived)
    uint64_t lastFrameNs = 0;   // when the last frame so far ended
};

enum class SessionKind { None, Records, Basic };

// What a session left in the terminal.
struct ReceivedProgram {
    SessionKind kind = SessionKind::None;
    MemoryImage image;                  // records: flash contents
    std::vector<uint8_t> basicProgram;  // BASIC: header, counts and 64-byte pieces in file order
    std::vector<uint8_t> companion;     // BASIC: the 100 companion bytes
};

// The BASIC block sequence position.
enum class BasicStep {
    Companion,
    Header,
    FirstCount,
    FirstSection,
    SecondSection,
    SecondCount,
    ThirdSection,
    End
};

class TerminalModel {
  public:
    static constexpr uint64_t kUsPerMs = 1000;

    explicit TerminalModel(ModelConfig config);

    // Bytes from a serial line; frame boundaries follow from the protocol state.
    void receiveStreamUs(std::span<const uint8_t> bytes, uint64_t nowUs);

    // One datagram; it holds one whole command, record or block.
    void receiveDatagramUs(std::span<const uint8_t> bytes, uint64_t nowUs);

    // Runs the timers: gives up an incomplete frame after the frame gap.
    void advanceUs(uint64_t nowUs);

    // Removes and returns the writes due at nowUs, in order.
    std::vector<Emission> takeDueUs(uint64_t nowUs);

    // The earliest time (microseconds) at which advanceUs() or takeDueUs() has something to do.
    std::optional<uint64_t> nextEventUs() const;

    // The same on a clock of whole milliseconds; the next event is rounded up to its
    // millisecond, so a caller waiting until then finds it due.
    void receiveStream(std::span<const uint8_t> bytes, uint64_t nowMs) {
        receiveStreamUs(bytes, nowMs * kUsPerMs);
    }
    void receiveDatagram(std::span<const uint8_t> bytes, uint64_t nowMs) {
        receiveDatagramUs(bytes, nowMs * kUsPerMs);
    }
    void advance(uint64_t nowMs) { advanceUs(nowMs * kUsPerMs); }
    std::vector<Emission> takeDue(uint64_t nowMs) { return takeDueUs(nowMs * kUsPerMs); }
    std::optional<uint64_t> nextEventMs() const;

    bool hasPendingOutput() const { return !pending_.empty(); }
    uint32_t sessionsEnded() const { return sessionsEnded_; }

    // The data of the last ended session (kind None before the first ends).
    const ReceivedProgram& lastSession() const { return lastSession_; }

    // The data as it stands now, ended session or not.
    ReceivedProgram current() const;

    const ModelStats& stats() const { return stats_; }
    std::vector<FrameTrace> takeTrace();

    // Size of the next block (checksum byte included), or 0 when no block is expected.
    size_t expectedBlockSize() const;

  private:
    enum class Phase { Idle, MeridoxAcked, Download, BasicNegotiate, Basic };

    void extractStreamFrames(bool lineQuiet = false);
    bool freshBasicStartPossible() const;
    size_t freshBasicStartLength() const;
    void handleFrame(FrameKind kind, std::span<const uint8_t> frame, uint64_t endNs);
    void handleCommand(std::string_view text, uint64_t number, FaultKind fault, uint64_t endNs);
    void handleRecord(std::span<const uint8_t> frame, uint64_t number, FaultKind fault,
                      uint64_t endNs);
    void handleBlock(std::span<const uint8_t> frame, uint64_t number, FaultKind fault,
                     uint64_t endNs);
    void handleDamaged(std::span<const uint8_t> frame, uint64_t number, FaultKind fault,
                       uint64_t endNs);
    void acceptBlock(std::span<const uint8_t> block);
    void endSession(SessionKind kind);
    void freshBasicStart();
    std::string answer(uint64_t number, FaultKind fault, std::string_view word, uint64_t readyNs);
    void schedule(Emission emission);
    void trace(uint64_t number, FrameKind kind, std::string description, std::string answerText,
               FaultKind fault);
    bool isDataFrame(FrameKind kind, std::span<const uint8_t> frame) const;
    uint64_t byteNs() const;

    ModelConfig config_;
    FaultPlan plan_;
    Phase phase_ = Phase::Idle;
    bool erased_ = false;
    BasicStep basicStep_ = BasicStep::Companion;
    uint32_t piecesLeft_ = 0;
    uint32_t secondSectionPieces_ = 0;

    std::vector<uint8_t> rx_;
    std::vector<uint64_t> rxLineNs_;  // when the emulated line delivered each byte of rx_
    uint64_t lastRxUs_ = 0;
    uint64_t nowUs_ = 0;
    uint64_t inputFreeNs_ = 0;
    uint64_t outputFreeNs_ = 0;
    bool discarding_ = false;
    size_t skippedBytes_ = 0;  // bytes dropped while discarding, for the trace

    MemoryImage image_;
    std::vector<uint8_t> basicProgram_;
    std::vector<uint8_t> companion_;
    ReceivedProgram lastSession_;
    uint32_t sessionsEnded_ = 0;

    std::vector<Emission> pending_;  // ordered by dueUs, equal times in creation order
    std::vector<FrameTrace> trace_;
    ModelStats stats_;
};

// The word a frame kind is shown as in the trace.
std::string_view frameKindName(FrameKind kind);

// Cuts answer bytes into datagrams of at most maxSize bytes and applies a datagram fault.
std::vector<std::vector<uint8_t>> splitIntoDatagrams(std::span<const uint8_t> bytes, size_t maxSize,
                                                     FaultKind fault, SeededRandom& random);

}  // namespace vorlanth::termsim
