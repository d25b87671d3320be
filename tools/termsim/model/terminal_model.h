// The terminal's side of the download protocol, driven by bytes and a microsecond clock.
//
// The model holds no handles and reads no clock: a transport feeds it what arrived
// and when, and takes back the answers that are due, each with the time at which it
// is to be written. Line pacing, flash write time, the erase wait and injected faults
// all show up as those due times, so tests drive it with a virtual clock.
//
// This is the session state machine: it cuts frames with framing.h, asks the fault
// plan what becomes of each answer, paces both directions with line_pacing.h and keeps
// what it receives.
#pragma once

#include "basic_sequence.h"
#include "fault_plan.h"
#include "frame_trace.h"
#include "framing.h"
#include "line_pacing.h"
#include "memory_image.h"
#include "time_units.h"

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
    Micros eraseUs = 0;  // 0: ":ERASE\r" answered "FA" at once; else "FB", then "FA" this later
    uint32_t baud = 0;   // 0: no line pacing; else 10 bits a byte at this rate, both ways
    Micros writeUs = 0;  // flash write time for each data record and BASIC block
    Micros frameGapUs = 250'000;  // silence after which an incomplete frame is given up
    bool keepTrace = true;        // note every frame for takeTrace (--trace); off, none is kept
    FaultConfig faults;
};

// One write the transport is to make at dueUs (on the caller's clock).
struct Emission {
    Micros dueUs = 0;
    std::vector<uint8_t> bytes;
    uint64_t frame = 0;                         // the frame this answers
    FaultKind datagramFault = FaultKind::None;  // drop/dup/reorder, applied by a datagram link
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
    Micros firstFrameUs = 0;  // when the first frame ended (its last byte arrived)
    Micros lastFrameUs = 0;   // when the last frame so far ended
};

enum class SessionKind { None, Records, Basic };

// What a session left in the terminal.
struct ReceivedProgram {
    SessionKind kind = SessionKind::None;
    MemoryImage image;                  // records: flash contents
    std::vector<uint8_t> basicProgram;  // BASIC: header, counts and 64-byte pieces in file order
    std::vector<uint8_t> companion;     // BASIC: the 100 companion bytes
};

class TerminalModel {
  public:
    explicit TerminalModel(ModelConfig config);

    // Bytes from a serial line; frame boundaries follow from the protocol state.
    void receiveStreamUs(std::span<const uint8_t> bytes, Micros now);

    // One datagram; it holds one whole command, record or block.
    void receiveDatagramUs(std::span<const uint8_t> bytes, Micros now);

    // Runs the timers: gives up an incomplete frame after the frame gap.
    void advanceUs(Micros now);

    // Removes and returns the writes due at `now`, in order.
    std::vector<Emission> takeDueUs(Micros now);

    // The earliest time at which advanceUs() or takeDueUs() has something to do.
    std::optional<Micros> nextEventUs() const;

    bool hasPendingOutput() const { return !pending_.empty(); }
    uint32_t sessionsEnded() const { return sessionsEnded_; }

    // The data of the last ended session (kind None before the first ends).
    const ReceivedProgram& lastSession() const { return lastSession_; }

    // The data as it stands now, ended session or not.
    ReceivedProgram current() const;

    const ModelStats& stats() const { return stats_; }
    std::vector<FrameTrace> takeTrace() { return trace_.take(); }

    // The plan that decides the faults, for a link that applies the datagram ones.
    const FaultPlan& faultPlan() const { return plan_; }

    // Size of the next block (checksum byte included), or 0 when no block is expected.
    size_t expectedBlockSize() const;

  private:
    enum class Phase { Idle, MeridoxAcked, Download, BasicNegotiate, Basic };

    // The answer to a command and what taking the command changes.
    struct CommandOutcome {
        std::string_view word;
        Phase next;
        bool erase = false;
        bool endBasic = false;
    };

    void extractStreamFrames(bool lineQuiet = false);
    void handleFrame(FrameKind kind, std::span<const uint8_t> frame, LineTime end);
    CommandOutcome obey(std::string_view text) const;
    void handleCommand(std::string_view text, uint64_t number, FaultKind fault, LineTime end);
    void handleRecord(std::span<const uint8_t> frame, uint64_t number, FaultKind fault,
                      LineTime end);
    void handleBlock(std::span<const uint8_t> frame, uint64_t number, FaultKind fault,
                     LineTime end);
    void handleDamaged(std::span<const uint8_t> frame, uint64_t number, FaultKind fault,
                       LineTime end);
    void endSession(SessionKind kind);
    std::string answer(uint64_t number, FaultKind fault, std::string_view word, LineTime ready);
    void schedule(Emission emission);

    ModelConfig config_;
    FaultPlan plan_;
    Phase phase_ = Phase::Idle;
    bool erased_ = false;

    std::vector<uint8_t> rx_;
    std::vector<LineTime> rxDelivered_;  // when the emulated line delivered each byte of rx_
    Micros lastRxUs_ = 0;
    Micros nowUs_ = 0;
    PacedLine input_;
    PacedLine output_;
    bool discarding_ = false;
    size_t skippedBytes_ = 0;  // bytes dropped while discarding, for the trace

    MemoryImage image_;
    BasicSequence basic_;
    ReceivedProgram lastSession_;
    uint32_t sessionsEnded_ = 0;

    std::vector<Emission> pending_;  // ordered by dueUs, equal times in creation order
    FrameTraceLog trace_;
    ModelStats stats_;
};

}  // namespace vorlanth::termsim
