#include "terminal_model.h"

#include "protocol_words.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <utility>

namespace vorlanth::termsim {

// The terminal starts idle, not in download mode, with empty flash.
TerminalModel::TerminalModel(ModelConfig config)
    : config_(std::move(config)),
      plan_(config_.faults),
      input_(config_.baud),
      output_(config_.baud),
      trace_(config_.keepTrace) {}

// Appends the bytes with the time the emulated line delivers each, then cuts frames.
void TerminalModel::receiveStreamUs(std::span<const uint8_t> bytes, Micros now) {
    nowUs_ = std::max(nowUs_, now);
    if (bytes.empty()) {
        return;
    }
    stats_.bytesIn += bytes.size();
    lastRxUs_ = now;
    for (uint8_t byte : bytes) {
        rx_.push_back(byte);
        rxDelivered_.push_back(input_.carry(LineTime::at(now), 1));
    }
    extractStreamFrames();
    if (discarding_ && rx_.size() > 1) {
        // Bytes being skipped are not kept: the last one stands for them until the gap.
        skippedBytes_ += rx_.size() - 1;
        rx_.erase(rx_.begin(), rx_.end() - 1);
        rxDelivered_.erase(rxDelivered_.begin(), rxDelivered_.end() - 1);
    }
}

// Cuts whole frames off the front of the input; each frame may change what the next
// one is expected to be.
void TerminalModel::extractStreamFrames(bool lineQuiet) {
    while (!rx_.empty() && !discarding_) {
        const StreamCut cut = cutStreamFrame(rx_, expectedBlockSize(), lineQuiet);
        if (cut.result == StreamCut::Result::Undelimited) {
            discarding_ = true;  // wait for the line to go quiet
        }
        if (cut.result != StreamCut::Result::Frame) {
            return;
        }
        const auto length = static_cast<std::ptrdiff_t>(cut.length);
        const std::vector<uint8_t> frame(rx_.begin(), rx_.begin() + length);
        const LineTime end = rxDelivered_[cut.length - 1];
        rx_.erase(rx_.begin(), rx_.begin() + length);
        rxDelivered_.erase(rxDelivered_.begin(), rxDelivered_.begin() + length);
        handleFrame(cut.kind, frame, end);
    }
}

// A datagram is one frame; its size tells a block from a command in the BASIC sequence.
void TerminalModel::receiveDatagramUs(std::span<const uint8_t> bytes, Micros now) {
    nowUs_ = std::max(nowUs_, now);
    stats_.bytesIn += bytes.size();
    lastRxUs_ = now;
    const LineTime end = input_.carry(LineTime::at(now), bytes.size());
    handleFrame(classifyDatagram(bytes, expectedBlockSize()), bytes, end);
}

// Gives up an incomplete frame once the line has been quiet for the frame gap. A
// whole command line left over (a fresh "TOLVEX\r" where a block was expected) is
// still obeyed; anything else is answered as a damaged frame.
void TerminalModel::advanceUs(Micros now) {
    nowUs_ = std::max(nowUs_, now);
    if (rx_.empty() || now < lastRxUs_ + config_.frameGapUs) {
        return;
    }
    extractStreamFrames(true);
    if (rx_.empty()) {
        return;
    }
    const std::vector<uint8_t> frame = std::move(rx_);
    const LineTime end = std::max(rxDelivered_.back(), LineTime::at(now));
    rx_.clear();
    rxDelivered_.clear();
    const bool wasDiscarding = std::exchange(discarding_, false);
    if (!wasDiscarding && isCommandLine(frame)) {
        handleFrame(FrameKind::Command, frame, end);
    } else {
        handleFrame(FrameKind::Damaged, frame, end);
    }
    extractStreamFrames();
}

// Size of the next BASIC block on the wire, or 0 outside the block sequence.
size_t TerminalModel::expectedBlockSize() const {
    const size_t size = phase_ == Phase::Basic ? basic_.nextBlockSize() : 0;
    return size > 0 && config_.basic == BasicMode::Checksum ? size + 1 : size;
}

// Numbers the frame, asks the plan for its fault and hands it to its handler.
void TerminalModel::handleFrame(FrameKind kind, std::span<const uint8_t> frame, LineTime end) {
    const uint64_t number = ++stats_.frames;
    if (number == 1) {
        stats_.firstFrameUs = end.roundedUp();
    }
    stats_.lastFrameUs = end.roundedUp();
    const FaultKind fault = plan_.decide(number, isDataFrame(kind, frame));
    if (fault != FaultKind::None) {
        ++stats_.faults;
    }
    switch (kind) {
        case FrameKind::Command:
            ++stats_.commands;
            handleCommand(commandText(frame), number, fault, end);
            break;
        case FrameKind::Record:
            ++stats_.records;
            handleRecord(frame, number, fault, end);
            break;
        case FrameKind::Block:
            ++stats_.blocks;
            handleBlock(frame, number, fault, end);
            break;
        case FrameKind::Damaged:
            ++stats_.damaged;
            handleDamaged(frame, number, fault, end);
            break;
    }
}

// The answer to a command line in the present phase, and the phase it leads to. An
// unknown command gets "NAK", or "FN" in download mode.
TerminalModel::CommandOutcome TerminalModel::obey(std::string_view text) const {
    const bool plainBasic = config_.basic == BasicMode::Plain;
    if (text == command::kWake) {
        switch (config_.entry) {
            case EntryStyle::ReadyFn:
                return {reply::kSendAgain, Phase::Download};
            case EntryStyle::ReadyFf:
                return {reply::kRefused, Phase::Download};
            case EntryStyle::LongWay:
                return {reply::kEmptyLine, Phase::Idle};
        }
    } else if (text == command::kMeridox) {
        return config_.entry == EntryStyle::LongWay
                   ? CommandOutcome{reply::kAck1, Phase::MeridoxAcked}
                   : CommandOutcome{reply::kSendAgain, Phase::Download};
    } else if (text == command::kDownload) {
        if (phase_ == Phase::MeridoxAcked) {
            return {reply::kAck2, Phase::Download};
        }
        return {phase_ == Phase::Download ? reply::kSendAgain : reply::kEmptyLine, phase_};
    } else if (text == command::kBasic) {
        return {plainBasic ? reply::kAck : reply::kChecksumWanted,
                plainBasic ? Phase::Basic : Phase::BasicNegotiate};
    } else if (text == command::kChecksumMode) {
        if (phase_ == Phase::BasicNegotiate) {
            return {reply::kAck, Phase::Basic};
        }
    } else if (text == command::kErase) {
        if (phase_ == Phase::Download) {
            return {config_.eraseUs == 0 ? reply::kAccepted : reply::kEraseUnderWay, phase_, true};
        }
        return {reply::kRefused, phase_};  // not in download mode
    } else if (text == command::kBasicEnd) {
        if (phase_ == Phase::Basic && basic_.complete()) {
            return {reply::kAck, phase_, false, true};
        }
    } else if (phase_ == Phase::Download) {
        return {reply::kSendAgain, phase_};
    }
    return {reply::kNak, phase_};
}

// Answers one command line and, unless a fault rejects it, does what it says.
void TerminalModel::handleCommand(std::string_view text, uint64_t number, FaultKind fault,
                                  LineTime end) {
    const CommandOutcome outcome = obey(text);
    const std::string sent = answer(number, fault, outcome.word, end);
    if (!faultRejectsFrame(fault)) {
        if (text == command::kWake || text == command::kMeridox) {
            erased_ = false;
        }
        if (text == command::kBasic) {
            basic_.restart();
        }
        phase_ = outcome.next;
        if (outcome.erase) {
            image_.clear();
            erased_ = true;
            if (config_.eraseUs > 0) {
                // The erase ends on its own time; "FA" follows "FB" whatever became of "FB".
                Emission done;
                done.frame = number;
                done.dueUs = end.plus(config_.eraseUs).roundedUp();
                done.bytes = encodeAnswer(reply::kAccepted);
                schedule(std::move(done));
            }
        }
        if (outcome.endBasic) {
            endSession(SessionKind::Basic);
        }
    }
    if (trace_.keeping()) {
        trace_.note({number, nowUs_, FrameKind::Command, describeCommand(text), sent, fault});
    }
}

// Checks a binary record and writes its data; the end record closes the session.
void TerminalModel::handleRecord(std::span<const uint8_t> frame, uint64_t number, FaultKind fault,
                                 LineTime end) {
    const DecodedRecord record = decodeRecord(frame);
    std::string_view word = reply::kAccepted;
    std::string_view problem = record.problem;
    if (!problem.empty()) {
        word = reply::kSendAgain;
    } else if (phase_ != Phase::Download || !erased_) {
        word = reply::kRefused;  // flash not erased in this download session
        problem = "not erased";
    }
    // Flash has no byte past 0xFFFFFFFF: a record that runs over the end is refused unwritten.
    const bool takes = problem.empty() && !faultRejectsFrame(fault);
    if (takes && !record.endRecord && !image_.write(record.address, record.data)) {
        word = reply::kRefused;
        problem = "data past 0xFFFFFFFF";
    }
    const Micros processing = record.endRecord ? 0 : config_.writeUs;
    const std::string sent = answer(number, fault, word, end.plus(processing));
    if (takes && record.endRecord) {
        endSession(SessionKind::Records);
    }
    if (trace_.keeping()) {
        trace_.note(
            {number, nowUs_, FrameKind::Record, describeRecord(frame, problem), sent, fault});
    }
}

// Checks a BASIC block (its checksum in checksum mode) and moves on in the sequence.
void TerminalModel::handleBlock(std::span<const uint8_t> frame, uint64_t number, FaultKind fault,
                                LineTime end) {
    const DecodedBlock block = decodeBlock(frame, config_.basic == BasicMode::Checksum);
    const std::string sent =
        answer(number, fault, block.good ? reply::kAck : reply::kNak, end.plus(config_.writeUs));
    if (block.good && !faultRejectsFrame(fault)) {
        basic_.accept(block.payload);
    }
    if (trace_.keeping()) {
        trace_.note({number, nowUs_, FrameKind::Block,
                     describeBlock(block.payload.size(), block.good), sent, fault});
    }
}

// Answers a frame that could not be read: records are asked for again, blocks refused.
void TerminalModel::handleDamaged(std::span<const uint8_t> frame, uint64_t number, FaultKind fault,
                                  LineTime end) {
    const std::string_view word = phase_ == Phase::Basic ? reply::kNak : reply::kSendAgain;
    const std::string sent = answer(number, fault, word, end);
    const size_t unreadable = frame.size() + std::exchange(skippedBytes_, 0);
    if (trace_.keeping()) {
        trace_.note(
            {number, nowUs_, FrameKind::Damaged, describeUnreadable(unreadable), sent, fault});
    }
}

// Records what the session left and waits for the next handshake.
void TerminalModel::endSession(SessionKind kind) {
    ++sessionsEnded_;
    lastSession_ = current();
    lastSession_.kind = kind;
    phase_ = Phase::Idle;
    erased_ = false;
}

// Everything received so far.
ReceivedProgram TerminalModel::current() const {
    ReceivedProgram program;
    program.kind = basic_.companion().empty() ? SessionKind::Records : SessionKind::Basic;
    program.image = image_;
    program.basicProgram = basic_.program();
    program.companion = basic_.companion();
    return program;
}

// Schedules the answer word (with its CR) once `ready`, shaped by the fault plan; a late
// answer is kept out of the line's queue so the answers after it are not held up.
// Returns what was actually sent, for the trace.
std::string TerminalModel::answer(uint64_t number, FaultKind fault, std::string_view word,
                                  LineTime ready) {
    const AnswerShape shape = plan_.shapeAnswer(number, fault, word);
    if (shape.silent) {
        return "";
    }
    std::vector<uint8_t> bytes = encodeAnswer(shape.word);
    stats_.bytesOut += bytes.size();
    if (shape.lateBy) {
        Emission late;
        late.frame = number;
        late.dueUs = output_.deliveredAlone(ready, bytes.size()).plus(*shape.lateBy).roundedUp();
        late.bytes = std::move(bytes);
        schedule(std::move(late));
        return shape.word;
    }
    LineTime start = ready;
    for (auto& piece : cutIntoPieces(bytes, shape.pieces)) {
        const LineTime delivered = output_.carry(start, piece.size());
        Emission emission;
        emission.frame = number;
        emission.dueUs = std::max(delivered.roundedUp(), nowUs_);
        emission.bytes = std::move(piece);
        emission.datagramFault = shape.datagramFault;
        schedule(std::move(emission));
        start = delivered.plus(shape.pieceGap);
    }
    return shape.word;
}

// Inserts after every emission due at the same time or earlier.
void TerminalModel::schedule(Emission emission) {
    const auto at =
        std::upper_bound(pending_.begin(), pending_.end(), emission.dueUs,
                         [](Micros due, const Emission& other) { return due < other.dueUs; });
    pending_.insert(at, std::move(emission));
}

// Removes and returns the writes due now.
std::vector<Emission> TerminalModel::takeDueUs(Micros now) {
    nowUs_ = std::max(nowUs_, now);
    const auto firstLater =
        std::find_if(pending_.begin(), pending_.end(),
                     [now](const Emission& emission) { return emission.dueUs > now; });
    std::vector<Emission> due(std::make_move_iterator(pending_.begin()),
                              std::make_move_iterator(firstLater));
    pending_.erase(pending_.begin(), firstLater);
    return due;
}

// The next answer due, or the moment an incomplete frame is given up.
std::optional<Micros> TerminalModel::nextEventUs() const {
    std::optional<Micros> next;
    if (!pending_.empty()) {
        next = pending_.front().dueUs;
    }
    if (!rx_.empty()) {
        const Micros gapEnd = lastRxUs_ + config_.frameGapUs;
        next = next ? std::min(*next, gapEnd) : gapEnd;
    }
    return next;
}

}  // namespace vorlanth::termsim
