#include "terminal_model.h"

#include "protocol_words.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace vorlanth::termsim {

namespace {

constexpr uint64_t kNsPerUs = 1'000;
constexpr uint64_t kNsPerMs = 1'000'000;
constexpr size_t kMaxCommandLength = 32;  // longer text without CR is no command

// Ceiling of nanoseconds in microseconds: an answer is never due before its line time.
uint64_t toUs(uint64_t ns) {
    return (ns + kNsPerUs - 1) / kNsPerUs;
}

// True when the bytes are one command line: printable text and a single final CR.
bool isCommandLine(std::span<const uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > kMaxCommandLength || bytes.back() != kCarriageReturn) {
        return false;
    }
    return std::all_of(bytes.begin(), bytes.end() - 1,
                       [](uint8_t byte) { return byte >= 0x20 && byte < 0x7F; });
}

// The command text without its CR.
std::string_view commandText(std::span<const uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size() - 1};
}

// A random line that is none of the terminal's words.
std::string garbageWord(SeededRandom& random) {
    static constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789?#*";
    std::string word;
    const auto length = 1 + random.below(6);
    for (uint64_t i = 0; i < length; ++i) {
        word += kAlphabet[random.below(kAlphabet.size())];
    }
    for (std::string_view known :
         {reply::kAck, reply::kNak, reply::kChecksumWanted, reply::kAccepted, reply::kEraseUnderWay,
          reply::kSendAgain, reply::kRefused, reply::kAck1, reply::kAck2}) {
        if (word == known) {
            word += '?';
        }
    }
    return word;
}

// "S3 0x00001000 n=64" and the like.
std::string describeRecord(std::span<const uint8_t> frame) {
    char text[64];
    if (frame.size() < 9) {
        std::snprintf(text, sizeof text, "short record (%zu bytes)", frame.size());
    } else {
        const uint32_t address = (uint32_t{frame[3]} << 24) | (uint32_t{frame[4]} << 16) |
                                 (uint32_t{frame[5]} << 8) | frame[6];
        std::snprintf(text, sizeof text, "S%c 0x%08X n=%zu", static_cast<char>(frame[1]),
                      static_cast<unsigned>(address), frame.size() - 9);
    }
    return text;
}

}  // namespace

// The word a frame kind is shown as in the trace.
std::string_view frameKindName(FrameKind kind) {
    switch (kind) {
        case FrameKind::Command:
            return "command";
        case FrameKind::Record:
            return "record";
        case FrameKind::Block:
            return "block";
        case FrameKind::Damaged:
            return "damaged";
    }
    return "?";
}

// The terminal starts idle, not in download mode, with empty flash.
TerminalModel::TerminalModel(ModelConfig config)
    : config_(std::move(config)), plan_(config_.faults) {}

// Time the emulated line needs for one byte (10 bits), 0 without pacing.
uint64_t TerminalModel::byteNs() const {
    return config_.baud == 0 ? 0 : 10'000'000'000ull / config_.baud;
}

// Appends the bytes with the time the emulated line delivers each, then cuts frames.
void TerminalModel::receiveStreamUs(std::span<const uint8_t> bytes, uint64_t nowUs) {
    nowUs_ = std::max(nowUs_, nowUs);
    if (bytes.empty()) {
        return;
    }
    stats_.bytesIn += bytes.size();
    lastRxUs_ = nowUs;
    for (uint8_t byte : bytes) {
        inputFreeNs_ = std::max(inputFreeNs_, nowUs * kNsPerUs) + byteNs();
        rx_.push_back(byte);
        rxLineNs_.push_back(inputFreeNs_);
    }
    extractStreamFrames();
    if (discarding_ && rx_.size() > 1) {
        // Bytes being skipped are not kept: the last one stands for them until the gap.
        skippedBytes_ += rx_.size() - 1;
        rx_.erase(rx_.begin(), rx_.end() - 1);
        rxLineNs_.erase(rxLineNs_.begin(), rxLineNs_.end() - 1);
    }
}

// Cuts whole frames off the front of the input: a block of the expected size in the
// BASIC sequence, a record by its count byte, anything else up to its CR.
void TerminalModel::extractStreamFrames(bool lineQuiet) {
    while (!rx_.empty() && !discarding_) {
        size_t length = 0;
        FrameKind kind = FrameKind::Command;
        const size_t blockSize = expectedBlockSize();
        const size_t freshStart = freshBasicStartLength();
        if (freshStart > 0) {
            length = freshStart;
            kind = FrameKind::Command;
        } else if (blockSize > 0 && freshBasicStartPossible() && !lineQuiet) {
            return;  // wait for more bytes or the quiet line to tell a count from "TOLVEX\r"
        } else if (blockSize > 0) {
            if (rx_.size() < blockSize) {
                return;
            }
            length = blockSize;
            kind = FrameKind::Block;
        } else if (rx_[0] == kRecordStart) {
            if (rx_.size() < 3) {
                return;
            }
            if (rx_[2] < 5) {
                discarding_ =
                    true;  // no way to tell where this frame ends: wait for the line to go quiet
                return;
            }
            length = size_t{rx_[2]} + 4;
            if (rx_.size() < length) {
                return;
            }
            kind = FrameKind::Record;
        } else {
            const auto cr = std::find(rx_.begin(), rx_.end(), kCarriageReturn);
            if (cr == rx_.end()) {
                if (rx_.size() > kMaxCommandLength) {
                    discarding_ = true;
                }
                return;
            }
            length = static_cast<size_t>(cr - rx_.begin()) + 1;
            kind = isCommandLine(std::span(rx_).first(length)) ? FrameKind::Command
                                                               : FrameKind::Damaged;
        }
        const std::vector<uint8_t> frame(rx_.begin(), rx_.begin() + static_cast<long>(length));
        const uint64_t endNs = rxLineNs_[length - 1];
        rx_.erase(rx_.begin(), rx_.begin() + static_cast<long>(length));
        rxLineNs_.erase(rxLineNs_.begin(), rxLineNs_.begin() + static_cast<long>(length));
        handleFrame(kind, frame, endNs);
    }
}

// A datagram is one frame; its size tells a block from a command in the BASIC sequence.
void TerminalModel::receiveDatagramUs(std::span<const uint8_t> bytes, uint64_t nowUs) {
    nowUs_ = std::max(nowUs_, nowUs);
    stats_.bytesIn += bytes.size();
    lastRxUs_ = nowUs;
    inputFreeNs_ = std::max(inputFreeNs_, nowUs * kNsPerUs) + byteNs() * bytes.size();
    FrameKind kind = FrameKind::Damaged;
    const size_t blockSize = expectedBlockSize();
    if (blockSize > 0 && bytes.size() == blockSize) {
        kind = FrameKind::Block;
    } else if (!bytes.empty() && bytes[0] == kRecordStart && blockSize == 0) {
        kind = FrameKind::Record;
    } else if (isCommandLine(bytes)) {
        kind = FrameKind::Command;
    }
    handleFrame(kind, bytes, inputFreeNs_);
}

// Gives up an incomplete frame once the line has been quiet for the frame gap. A
// whole command line left over (a fresh "TOLVEX\r" where a block was expected) is
// still obeyed; anything else is answered as a damaged frame.
void TerminalModel::advanceUs(uint64_t nowUs) {
    nowUs_ = std::max(nowUs_, nowUs);
    if (rx_.empty() || nowUs < lastRxUs_ + uint64_t{config_.frameGapMs} * kUsPerMs) {
        return;
    }
    extractStreamFrames(true);
    if (rx_.empty()) {
        return;
    }
    const std::vector<uint8_t> frame = std::move(rx_);
    const uint64_t endNs = std::max(rxLineNs_.back(), nowUs * kNsPerUs);
    rx_.clear();
    rxLineNs_.clear();
    const bool wasDiscarding = std::exchange(discarding_, false);
    if (!wasDiscarding && isCommandLine(frame)) {
        handleFrame(FrameKind::Command, frame, endNs);
    } else {
        handleFrame(FrameKind::Damaged, frame, endNs);
    }
    extractStreamFrames();
}

// The bytes of "TOLVEX\r", with which a loader starts a BASIC upload afresh.
static constexpr uint8_t kBasicStartLine[] = {'T', 'O', 'L', 'V', 'E', 'X', kCarriageReturn};

// True while the input could still be a fresh "TOLVEX\r" sent where a count block
// (shorter than the command) is due: the blocks themselves carry no marker.
bool TerminalModel::freshBasicStartPossible() const {
    const size_t blockSize = expectedBlockSize();
    if (blockSize == 0 || blockSize >= sizeof kBasicStartLine) {
        return false;
    }
    const size_t compared = std::min(rx_.size(), sizeof kBasicStartLine);
    return std::equal(rx_.begin(), rx_.begin() + static_cast<long>(compared), kBasicStartLine);
}

// Length of a whole "TOLVEX\r" at the front of the input where a count block is due
// and nothing follows it (a loader sends nothing more before the answer), else 0.
size_t TerminalModel::freshBasicStartLength() const {
    return freshBasicStartPossible() && rx_.size() == sizeof kBasicStartLine ? rx_.size() : 0;
}

// Size of the next BASIC block on the wire, or 0 outside the block sequence.
size_t TerminalModel::expectedBlockSize() const {
    if (phase_ != Phase::Basic) {
        return 0;
    }
    size_t size = 0;
    switch (basicStep_) {
        case BasicStep::Companion:
            size = kCompanionBlockSize;
            break;
        case BasicStep::Header:
            size = kHeaderBlockSize;
            break;
        case BasicStep::FirstCount:
        case BasicStep::SecondCount:
            size = kCountBlockSize;
            break;
        case BasicStep::FirstSection:
        case BasicStep::SecondSection:
        case BasicStep::ThirdSection:
            size = kPieceSize;
            break;
        case BasicStep::End:
            return 0;
    }
    return config_.basic == BasicMode::Checksum ? size + 1 : size;
}

// Records (not the end record) and blocks are data frames; the fault rate aims at them.
bool TerminalModel::isDataFrame(FrameKind kind, std::span<const uint8_t> frame) const {
    if (kind == FrameKind::Block) {
        return true;
    }
    return kind == FrameKind::Record && frame.size() > 1 && frame[1] != kEndRecordType;
}

// Numbers the frame, draws its fault and hands it to its handler.
void TerminalModel::handleFrame(FrameKind kind, std::span<const uint8_t> frame, uint64_t endNs) {
    const uint64_t number = ++stats_.frames;
    if (number == 1) {
        stats_.firstFrameNs = endNs;
    }
    stats_.lastFrameNs = endNs;
    const FaultKind fault = plan_.decide(number, isDataFrame(kind, frame));
    if (fault != FaultKind::None) {
        ++stats_.faults;
    }
    switch (kind) {
        case FrameKind::Command:
            ++stats_.commands;
            handleCommand(commandText(frame), number, fault, endNs);
            break;
        case FrameKind::Record:
            ++stats_.records;
            handleRecord(frame, number, fault, endNs);
            break;
        case FrameKind::Block:
            ++stats_.blocks;
            handleBlock(frame, number, fault, endNs);
            break;
        case FrameKind::Damaged:
            ++stats_.damaged;
            handleDamaged(frame, number, fault, endNs);
            break;
    }
}

// Obeys one command line. A rejecting fault leaves the state as it was.
void TerminalModel::handleCommand(std::string_view text, uint64_t number, FaultKind fault,
                                  uint64_t endNs) {
    const bool taken = !faultRejectsFrame(fault);
    std::string_view word = reply::kNak;
    Phase next = phase_;
    bool erase = false;
    bool endBasic = false;
    if (text == command::kWake) {
        switch (config_.entry) {
            case EntryStyle::ReadyFn:
                word = reply::kSendAgain;
                next = Phase::Download;
                break;
            case EntryStyle::ReadyFf:
                word = reply::kRefused;
                next = Phase::Download;
                break;
            case EntryStyle::LongWay:
                word = reply::kEmptyLine;
                next = Phase::Idle;
                break;
        }
    } else if (text == command::kMeridox) {
        if (config_.entry == EntryStyle::LongWay) {
            word = reply::kAck1;
            next = Phase::MeridoxAcked;
        } else {
            word = reply::kSendAgain;
            next = Phase::Download;
        }
    } else if (text == command::kDownload) {
        if (phase_ == Phase::MeridoxAcked) {
            word = reply::kAck2;
            next = Phase::Download;
        } else if (phase_ == Phase::Download) {
            word = reply::kSendAgain;
        } else {
            word = reply::kEmptyLine;
        }
    } else if (text == command::kBasic) {
        word = config_.basic == BasicMode::Plain ? reply::kAck : reply::kChecksumWanted;
        next = config_.basic == BasicMode::Plain ? Phase::Basic : Phase::BasicNegotiate;
    } else if (text == command::kChecksumMode) {
        if (phase_ == Phase::BasicNegotiate) {
            word = reply::kAck;
            next = Phase::Basic;
        }
    } else if (text == command::kErase) {
        if (phase_ == Phase::Download) {
            word = config_.eraseMs == 0 ? reply::kAccepted : reply::kEraseUnderWay;
            erase = true;
        } else {
            word = reply::kRefused;  // not in download mode
        }
    } else if (text == command::kBasicEnd) {
        if (phase_ == Phase::Basic && basicStep_ == BasicStep::End) {
            word = reply::kAck;
            endBasic = true;
        }
    } else if (phase_ == Phase::Download) {
        word = reply::kSendAgain;
    }

    const uint64_t readyNs = endNs;
    const std::string sent = answer(number, fault, word, readyNs);
    if (taken) {
        if (text == command::kWake || text == command::kMeridox) {
            erased_ = false;
        }
        if (text == command::kBasic) {
            freshBasicStart();
        }
        phase_ = next;
        if (erase) {
            image_.clear();
            erased_ = true;
            if (config_.eraseMs > 0) {
                // The erase ends on its own time; "FA" follows "FB" whatever became of "FB".
                Emission done;
                done.frame = number;
                done.dueUs = toUs(readyNs + uint64_t{config_.eraseMs} * kNsPerMs);
                done.bytes.assign(reply::kAccepted.begin(), reply::kAccepted.end());
                done.bytes.push_back(kCarriageReturn);
                schedule(std::move(done));
            }
        }
        if (endBasic) {
            endSession(SessionKind::Basic);
        }
    }
    if (config_.keepTrace) {
        std::string shown = text.empty() ? std::string("\\r") : std::string(text) + "\\r";
        trace(number, FrameKind::Command, "\"" + shown + "\"", sent, fault);
    }
}

// Checks a binary record and writes its data; the end record closes the session.
void TerminalModel::handleRecord(std::span<const uint8_t> frame, uint64_t number, FaultKind fault,
                                 uint64_t endNs) {
    std::string_view word = reply::kAccepted;
    std::string problem;
    if (frame.size() < 9 || frame.size() != size_t{frame[2]} + 4) {
        problem = "length does not match count";
    } else if (frame[1] != kDataRecordType && frame[1] != kEndRecordType) {
        problem = "unknown type";
    } else if (frame.back() != kCarriageReturn) {
        problem = "no CR";
    } else {
        uint32_t sum = 0;
        for (size_t i = 2; i + 2 < frame.size(); ++i) {
            sum += frame[i];
        }
        if (complementChecksum(sum) != frame[frame.size() - 2]) {
            problem = "bad checksum";
        }
    }
    const bool endRecord = problem.empty() && frame[1] == kEndRecordType;
    if (!problem.empty()) {
        word = reply::kSendAgain;
    } else if (phase_ != Phase::Download || !erased_) {
        word = reply::kRefused;  // flash not erased in this download session
        problem = "not erased";
    }
    const bool taken = problem.empty() && !faultRejectsFrame(fault);
    const uint64_t processNs = endRecord ? 0 : uint64_t{config_.writeMs} * kNsPerMs;
    const std::string sent = answer(number, fault, word, endNs + processNs);
    if (taken) {
        if (endRecord) {
            endSession(SessionKind::Records);
        } else {
            const uint32_t address = (uint32_t{frame[3]} << 24) | (uint32_t{frame[4]} << 16) |
                                     (uint32_t{frame[5]} << 8) | frame[6];
            image_.write(address, frame.subspan(7, frame.size() - 9));
        }
    }
    if (config_.keepTrace) {
        std::string description = describeRecord(frame);
        if (!problem.empty()) {
            description += " (" + problem + ")";
        }
        trace(number, FrameKind::Record, description, sent, fault);
    }
}

// Checks a BASIC block (its checksum in checksum mode) and moves on in the sequence.
void TerminalModel::handleBlock(std::span<const uint8_t> frame, uint64_t number, FaultKind fault,
                                uint64_t endNs) {
    std::span<const uint8_t> block = frame;
    bool good = true;
    if (config_.basic == BasicMode::Checksum) {
        block = frame.first(frame.size() - 1);
        uint32_t sum = 0;
        for (uint8_t byte : block) {
            sum += byte;
        }
        good = complementChecksum(sum) == frame.back();
    }
    const std::string_view word = good ? reply::kAck : reply::kNak;
    const std::string sent =
        answer(number, fault, word, endNs + uint64_t{config_.writeMs} * kNsPerMs);
    char description[48];
    std::snprintf(description, sizeof description, "block of %zu%s", block.size(),
                  good ? "" : " (bad checksum)");
    if (good && !faultRejectsFrame(fault)) {
        acceptBlock(block);
    }
    trace(number, FrameKind::Block, description, sent, fault);
}

// Answers a frame that could not be read: records are asked for again, blocks refused.
void TerminalModel::handleDamaged(std::span<const uint8_t> frame, uint64_t number, FaultKind fault,
                                  uint64_t endNs) {
    const std::string_view word = phase_ == Phase::Basic ? reply::kNak : reply::kSendAgain;
    const std::string sent = answer(number, fault, word, endNs);
    char description[48];
    std::snprintf(description, sizeof description, "%zu unreadable bytes",
                  frame.size() + std::exchange(skippedBytes_, 0));
    trace(number, FrameKind::Damaged, description, sent, fault);
}

// Keeps the block and steps to the next one; the counts decide the section lengths.
void TerminalModel::acceptBlock(std::span<const uint8_t> block) {
    if (basicStep_ == BasicStep::Companion) {
        companion_.assign(block.begin(), block.end());
        basicStep_ = BasicStep::Header;
        return;
    }
    basicProgram_.insert(basicProgram_.end(), block.begin(), block.end());
    switch (basicStep_) {
        case BasicStep::Header:
            basicStep_ = BasicStep::FirstCount;
            break;
        case BasicStep::FirstCount: {
            const uint32_t pieces = block[0] + 256u * block[1];
            secondSectionPieces_ = (pieces + 1) / 2;
            piecesLeft_ = pieces;
            basicStep_ = pieces > 0 ? BasicStep::FirstSection : BasicStep::SecondCount;
            break;
        }
        case BasicStep::FirstSection:
            if (--piecesLeft_ == 0) {
                piecesLeft_ = secondSectionPieces_;
                basicStep_ = BasicStep::SecondSection;
            }
            break;
        case BasicStep::SecondSection:
            if (--piecesLeft_ == 0) {
                basicStep_ = BasicStep::SecondCount;
            }
            break;
        case BasicStep::SecondCount:
            piecesLeft_ = block[0] + 256u * block[1];
            basicStep_ = piecesLeft_ > 0 ? BasicStep::ThirdSection : BasicStep::End;
            break;
        case BasicStep::ThirdSection:
            if (--piecesLeft_ == 0) {
                basicStep_ = BasicStep::End;
            }
            break;
        case BasicStep::Companion:
        case BasicStep::End:
            break;
    }
}

// A new "TOLVEX\r" starts the block sequence from the companion block.
void TerminalModel::freshBasicStart() {
    basicStep_ = BasicStep::Companion;
    piecesLeft_ = 0;
    secondSectionPieces_ = 0;
    basicProgram_.clear();
    companion_.clear();
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
    program.kind = companion_.empty() ? SessionKind::Records : SessionKind::Basic;
    program.image = image_;
    program.basicProgram = basicProgram_;
    program.companion = companion_;
    return program;
}

// Schedules the answer word (with its CR) after the fault has had its say; returns
// what was actually sent, for the trace.
std::string TerminalModel::answer(uint64_t number, FaultKind fault, std::string_view word,
                                  uint64_t readyNs) {
    SeededRandom random = plan_.randomFor(number);
    std::string text(word);
    switch (fault) {
        case FaultKind::AnswerFn:
            text = reply::kSendAgain;
            break;
        case FaultKind::AnswerFf:
            text = reply::kRefused;
            break;
        case FaultKind::AnswerNak:
            text = reply::kNak;
            break;
        case FaultKind::Garbage:
            text = garbageWord(random);
            break;
        case FaultKind::Silent:
            return "";
        default:
            break;
    }
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(kCarriageReturn);
    stats_.bytesOut += bytes.size();

    if (fault == FaultKind::Late) {
        // A late answer does not hold up the line for the answers after it.
        Emission late;
        late.frame = number;
        late.bytes = std::move(bytes);
        late.dueUs = toUs(readyNs + byteNs() * late.bytes.size() +
                          uint64_t{plan_.config().lateMs} * kNsPerMs);
        schedule(std::move(late));
        return text;
    }

    std::vector<std::vector<uint8_t>> pieces;
    if (fault == FaultKind::Split && bytes.size() > 1) {
        const size_t count = 2 + random.below(std::min<size_t>(bytes.size() - 1, 3));
        size_t start = 0;
        for (size_t i = 0; i < count; ++i) {
            const size_t end = i + 1 == count ? bytes.size() : bytes.size() * (i + 1) / count;
            if (end > start) {
                pieces.emplace_back(bytes.begin() + static_cast<long>(start),
                                    bytes.begin() + static_cast<long>(end));
            }
            start = end;
        }
    } else {
        pieces.push_back(std::move(bytes));
    }
    uint64_t startNs = std::max(readyNs, outputFreeNs_);
    for (auto& piece : pieces) {
        outputFreeNs_ = startNs + byteNs() * piece.size();
        Emission emission;
        emission.frame = number;
        emission.dueUs = std::max(toUs(outputFreeNs_), nowUs_);
        emission.bytes = std::move(piece);
        emission.datagramFault = isDatagramFault(fault) ? fault : FaultKind::None;
        schedule(std::move(emission));
        startNs = outputFreeNs_ + uint64_t{plan_.config().splitGapMs} * kNsPerMs;
    }
    return text;
}

// Inserts after every emission due at the same time or earlier.
void TerminalModel::schedule(Emission emission) {
    emission.dueMs = (emission.dueUs + kUsPerMs - 1) / kUsPerMs;
    const auto at =
        std::upper_bound(pending_.begin(), pending_.end(), emission.dueUs,
                         [](uint64_t due, const Emission& other) { return due < other.dueUs; });
    pending_.insert(at, std::move(emission));
}

// Removes and returns the writes due now.
std::vector<Emission> TerminalModel::takeDueUs(uint64_t nowUs) {
    nowUs_ = std::max(nowUs_, nowUs);
    std::vector<Emission> due;
    auto it = pending_.begin();
    while (it != pending_.end() && it->dueUs <= nowUs) {
        due.push_back(std::move(*it));
        ++it;
    }
    pending_.erase(pending_.begin(), it);
    return due;
}

// The next answer due, or the moment an incomplete frame is given up.
std::optional<uint64_t> TerminalModel::nextEventUs() const {
    std::optional<uint64_t> next;
    if (!pending_.empty()) {
        next = pending_.front().dueUs;
    }
    if (!rx_.empty()) {
        const uint64_t gapEnd = lastRxUs_ + uint64_t{config_.frameGapMs} * kUsPerMs;
        next = next ? std::min(*next, gapEnd) : gapEnd;
    }
    return next;
}

// The next event rounded up to a whole millisecond.
std::optional<uint64_t> TerminalModel::nextEventMs() const {
    const auto next = nextEventUs();
    if (!next) {
        return std::nullopt;
    }
    return (*next + kUsPerMs - 1) / kUsPerMs;
}

// Notes what became of a frame, for --trace; nothing when no trace is kept.
void TerminalModel::trace(uint64_t number, FrameKind kind, std::string description,
                          std::string answerText, FaultKind fault) {
    if (!config_.keepTrace) {
        return;
    }
    trace_.push_back(
        {number, nowUs_ / kUsPerMs, kind, std::move(description), std::move(answerText), fault});
}

// Hands over the notes gathered so far.
std::vector<FrameTrace> TerminalModel::takeTrace() {
    return std::exchange(trace_, {});
}

// Cuts the answer into datagrams, then loses, repeats or reverses them as the fault says.
std::vector<std::vector<uint8_t>> splitIntoDatagrams(std::span<const uint8_t> bytes, size_t maxSize,
                                                     FaultKind fault, SeededRandom& random) {
    std::vector<std::vector<uint8_t>> datagrams;
    // Reordering one datagram needs pieces to reorder: it goes out byte by byte.
    const size_t size =
        fault == FaultKind::ReorderDatagrams && bytes.size() <= maxSize ? 1 : maxSize;
    for (size_t offset = 0; offset < bytes.size(); offset += size) {
        const auto piece = bytes.subspan(offset, std::min(size, bytes.size() - offset));
        datagrams.emplace_back(piece.begin(), piece.end());
    }
    if (datagrams.empty()) {
        return datagrams;
    }
    switch (fault) {
        case FaultKind::DropDatagram:
            datagrams.erase(datagrams.begin() + static_cast<long>(random.below(datagrams.size())));
            break;
        case FaultKind::DuplicateDatagram: {
            const auto at = static_cast<long>(random.below(datagrams.size()));
            datagrams.insert(datagrams.begin() + at, datagrams[static_cast<size_t>(at)]);
            break;
        }
        case FaultKind::ReorderDatagrams:
            std::reverse(datagrams.begin(), datagrams.end());
            break;
        default:
            break;
    }
    return datagrams;
}

}  // namespace vorlanth::termsim
