#include "framing.h"

#include "protocol_words.h"

#include <algorithm>
#include <iterator>

namespace vorlanth::termsim {

namespace {

constexpr std::size_t kMaxCommandLength = 32;     // longer text without CR is no command
constexpr std::size_t kRecordOverhead = 9;        // 'S', type, count, 4 address bytes, checksum, CR
constexpr std::uint8_t kShortestRecordCount = 5;  // 4 address bytes and the checksum

// The bytes of "TOLVEX\r", with which a loader starts a BASIC upload afresh.
constexpr std::uint8_t kBasicStartLine[] = {'T', 'O', 'L', 'V', 'E', 'X', kCarriageReturn};

// True while the input could still be a fresh "TOLVEX\r" sent where a block shorter than
// the command is due: the blocks themselves carry no marker.
bool couldBeBasicStart(std::span<const std::uint8_t> input, std::size_t blockSize) {
    if (blockSize == 0 || blockSize >= std::size(kBasicStartLine)) {
        return false;
    }
    const std::size_t compared = std::min(input.size(), std::size(kBasicStartLine));
    return std::equal(input.begin(), input.begin() + static_cast<std::ptrdiff_t>(compared),
                      std::begin(kBasicStartLine));
}

// A frame of `kind` and `length` bytes.
StreamCut frameOf(FrameKind kind, std::size_t length) {
    return {StreamCut::Result::Frame, kind, length};
}

// Sum of the bytes, for the one's complement check byte.
std::uint32_t sumOf(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (std::uint8_t byte : bytes) {
        sum += byte;
    }
    return sum;
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

// Printable characters only before the CR, and not longer than any command.
bool isCommandLine(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > kMaxCommandLength || bytes.back() != kCarriageReturn) {
        return false;
    }
    return std::all_of(bytes.begin(), bytes.end() - 1,
                       [](std::uint8_t byte) { return byte >= 0x20 && byte < 0x7F; });
}

// The command text without its CR.
std::string_view commandText(std::span<const std::uint8_t> line) {
    return {reinterpret_cast<const char*>(line.data()), line.size() - 1};
}

// A fresh "TOLVEX\r" first, then a block where one is due, then a record, then a line.
StreamCut cutStreamFrame(std::span<const std::uint8_t> input, std::size_t blockSize,
                         bool lineQuiet) {
    if (input.empty()) {
        return {};
    }
    const bool basicStart = couldBeBasicStart(input, blockSize);
    if (basicStart && input.size() == std::size(kBasicStartLine)) {
        // A loader sends nothing more before the answer, so these 7 bytes stand alone.
        return frameOf(FrameKind::Command, input.size());
    }
    if (blockSize > 0) {
        if ((basicStart && !lineQuiet) || input.size() < blockSize) {
            return {};
        }
        return frameOf(FrameKind::Block, blockSize);
    }
    if (input[0] == kRecordStart) {
        if (input.size() < 3) {
            return {};
        }
        if (input[2] < kShortestRecordCount) {
            return {StreamCut::Result::Undelimited};
        }
        const std::size_t length = std::size_t{input[2]} + 4;
        return input.size() < length ? StreamCut{} : frameOf(FrameKind::Record, length);
    }
    const auto cr = std::find(input.begin(), input.end(), kCarriageReturn);
    if (cr == input.end()) {
        return input.size() > kMaxCommandLength ? StreamCut{StreamCut::Result::Undelimited}
                                                : StreamCut{};
    }
    const auto length = static_cast<std::size_t>(cr - input.begin()) + 1;
    return frameOf(isCommandLine(input.first(length)) ? FrameKind::Command : FrameKind::Damaged,
                   length);
}

// A block by its exact size, a record by its start outside the blocks, else a command
// line or damage.
FrameKind classifyDatagram(std::span<const std::uint8_t> datagram, std::size_t blockSize) {
    if (blockSize > 0 && datagram.size() == blockSize) {
        return FrameKind::Block;
    }
    if (!datagram.empty() && datagram[0] == kRecordStart && blockSize == 0) {
        return FrameKind::Record;
    }
    return isCommandLine(datagram) ? FrameKind::Command : FrameKind::Damaged;
}

// Blocks, and records whose type is not the end record's.
bool isDataFrame(FrameKind kind, std::span<const std::uint8_t> frame) {
    if (kind == FrameKind::Block) {
        return true;
    }
    return kind == FrameKind::Record && frame.size() > 1 && frame[1] != kEndRecordType;
}

// The count byte covers address, data and checksum; the checksum covers count to data.
DecodedRecord decodeRecord(std::span<const std::uint8_t> frame) {
    DecodedRecord record;
    if (frame.size() < kRecordOverhead || frame.size() != std::size_t{frame[2]} + 4) {
        record.problem = "length does not match count";
    } else if (frame[1] != kDataRecordType && frame[1] != kEndRecordType) {
        record.problem = "unknown type";
    } else if (frame.back() != kCarriageReturn) {
        record.problem = "no CR";
    } else if (complementChecksum(sumOf(frame.subspan(2, frame.size() - 4))) !=
               frame[frame.size() - 2]) {
        record.problem = "bad checksum";
    } else {
        record.endRecord = frame[1] == kEndRecordType;
        record.address = recordAddress(frame);
        record.data = frame.subspan(7, frame.size() - kRecordOverhead);
    }
    return record;
}

// Four address bytes, most significant first, after start, type and count.
std::uint32_t recordAddress(std::span<const std::uint8_t> frame) {
    return (std::uint32_t{frame[3]} << 24) | (std::uint32_t{frame[4]} << 16) |
           (std::uint32_t{frame[5]} << 8) | frame[6];
}

// In checksum mode the last byte checks the ones before it.
DecodedBlock decodeBlock(std::span<const std::uint8_t> frame, bool withChecksum) {
    if (!withChecksum || frame.empty()) {
        return {frame, true};
    }
    const auto payload = frame.first(frame.size() - 1);
    return {payload, complementChecksum(sumOf(payload)) == frame.back()};
}

// The word's characters, then CR.
std::vector<std::uint8_t> encodeAnswer(std::string_view word) {
    std::vector<std::uint8_t> bytes(word.begin(), word.end());
    bytes.push_back(kCarriageReturn);
    return bytes;
}

// Piece i ends at size * (i + 1) / count; empty pieces (count above size) are left out.
std::vector<std::vector<std::uint8_t>> cutIntoPieces(std::span<const std::uint8_t> bytes,
                                                     std::size_t count) {
    std::vector<std::vector<std::uint8_t>> pieces;
    std::size_t start = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t end = i + 1 == count ? bytes.size() : bytes.size() * (i + 1) / count;
        if (end > start) {
            pieces.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                                bytes.begin() + static_cast<std::ptrdiff_t>(end));
        }
        start = end;
    }
    return pieces;
}

// Consecutive slices of maxSize bytes, the last one shorter.
std::vector<std::vector<std::uint8_t>> cutIntoDatagrams(std::span<const std::uint8_t> bytes,
                                                        std::size_t maxSize) {
    std::vector<std::vector<std::uint8_t>> datagrams;
    for (std::size_t offset = 0; offset < bytes.size(); offset += maxSize) {
        const auto piece = bytes.subspan(offset, std::min(maxSize, bytes.size() - offset));
        datagrams.emplace_back(piece.begin(), piece.end());
    }
    return datagrams;
}

}  // namespace vorlanth::termsim
