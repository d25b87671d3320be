// Decodes an S-record text file line by line into data records joined at consecutive
// addresses, and says the line, column and reason of any defect.
#include "readers/srecord_decoder.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "common/types.h"
#include "readers/program_decoder.h"
#include "readers/reader_support.h"

namespace vorlanth::readers {

namespace {

constexpr std::size_t kReadChunkSize = 256;
// A pending record is sent at a line end once it holds this many data bytes.
constexpr std::size_t kJoinedDataThreshold = 64;
// "S", type, and at most 255 pairs (count byte 255 plus the 255 bytes it counts).
constexpr std::size_t kMaxRecordBytes = 256;
constexpr std::size_t kMaxLineLength = 2 + 2 * kMaxRecordBytes;

// Values of the hexadecimal digits in either case; -1 for every other character.
constexpr std::array<std::int8_t, 256> makeDigitTable() {
    std::array<std::int8_t, 256> table{};
    table.fill(-1);
    for (int c = '0'; c <= '9'; ++c) {
        table[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - '0');
    }
    for (int c = 'A'; c <= 'F'; ++c) {
        table[static_cast<std::size_t>(c)] = static_cast<std::int8_t>(c - 'A' + 10);
        table[static_cast<std::size_t>(c + 'a' - 'A')] = static_cast<std::int8_t>(c - 'A' + 10);
    }
    return table;
}
constexpr std::array<std::int8_t, 256> kDigitValue = makeDigitTable();

// The value of every pair of characters, -1 for a pair that is not two hexadecimal digits,
// indexed by the pair as one 16-bit load gives it on this machine: one load and one look-up
// per byte instead of two of each.
std::uint16_t pairKey(std::uint8_t first, std::uint8_t second) {
    const std::array<std::uint8_t, 2> pair = {first, second};
    std::uint16_t key = 0;
    std::memcpy(&key, pair.data(), sizeof key);
    return key;
}

const std::array<std::int16_t, 65536>& pairValues() {
    static const std::array<std::int16_t, 65536> table = [] {
        std::array<std::int16_t, 65536> values{};
        for (std::size_t first = 0; first < 256; ++first) {
            for (std::size_t second = 0; second < 256; ++second) {
                const int high = kDigitValue[first];
                const int low = kDigitValue[second];
                values[pairKey(static_cast<std::uint8_t>(first),
                               static_cast<std::uint8_t>(second))] =
                    static_cast<std::int16_t>(high < 0 || low < 0 ? -1 : high * 16 + low);
            }
        }
        return values;
    }();
    return table;
}

// Address bytes of each record type; 0 marks a type that does not exist (S4).
constexpr std::array<std::size_t, 10> kAddressBytes = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

enum class RecordKind { Skipped, Data, End };

// Kinds by type: S0 header, S5/S6 record counts carry no program bytes; S1/S2/S3 carry data
// with 16-, 24- and 32-bit addresses; S7/S8/S9 end the program.
RecordKind kindOf(int type) {
    switch (type) {
        case 1:
        case 2:
        case 3:
            return RecordKind::Data;
        case 7:
        case 8:
        case 9:
            return RecordKind::End;
        default:
            return RecordKind::Skipped;
    }
}

// One input line, decoded and checked.
struct DecodedRecord {
    RecordKind kind = RecordKind::Skipped;
    int type = 0;
    std::uint32_t address = 0;
    std::span<const std::uint8_t> data;
};

// What is wrong with a line, and at which character (1-based).
struct LineError {
    std::string reason;
    std::size_t column;
};

// A character as a person can find it in an editor: 'G', or its code when not printable.
std::string describeCharacter(char c) {
    const auto code = static_cast<unsigned char>(c);
    char text[24];
    if (code > 0x20 && code < 0x7F) {
        std::snprintf(text, sizeof text, "'%c'", c);
    } else {
        std::snprintf(text, sizeof text, "byte 0x%02X", code);
    }
    return text;
}

std::string hexByte(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

// The first character of the line (from column 3 on) that is no hexadecimal digit.
std::optional<LineError> findBadDigit(std::string_view line) {
    for (std::size_t i = 2; i < line.size(); ++i) {
        if (kDigitValue[static_cast<unsigned char>(line[i])] < 0) {
            return LineError{"bad character " + describeCharacter(line[i]) +
                                 ", a hexadecimal digit was expected",
                             i + 1};
        }
    }
    return std::nullopt;
}

// Decodes a line without its line end into bytes, or says what is wrong with it: the record
// start, the type, every character, the length, the count and the checksum are checked.
std::variant<DecodedRecord, LineError> decodeLine(
    std::string_view line, std::array<std::uint8_t, kMaxRecordBytes>& bytes) {
    if (line[0] != 'S') {
        return LineError{"a record starts with 'S', not " + describeCharacter(line[0]), 1};
    }
    if (line.size() < 2 || line[1] < '0' || line[1] > '9') {
        return LineError{"no record type digit after 'S'", 2};
    }
    const int type = line[1] - '0';
    const std::size_t addressBytes = kAddressBytes[static_cast<std::size_t>(type)];
    if (addressBytes == 0) {
        return LineError{"there is no record type S4", 2};
    }
    const std::size_t pairs = (line.size() - 2) / 2;
    const std::array<std::int16_t, 65536>& values = pairValues();
    const auto* text = reinterpret_cast<const std::uint8_t*>(line.data()) + 2;
    unsigned sum = 0;
    int invalid = 0;
    for (std::size_t i = 0; i < pairs; ++i) {
        std::uint16_t key = 0;
        std::memcpy(&key, text + 2 * i, sizeof key);
        const int value = values[key];
        invalid |= value;
        bytes[i] = static_cast<std::uint8_t>(value);
        sum += static_cast<unsigned>(value);
    }
    if (invalid < 0 || line.size() % 2 != 0) {
        if (auto bad = findBadDigit(line)) {
            return *bad;
        }
        return LineError{"odd number of characters (" + std::to_string(line.size()) +
                             "): the last digit has no partner",
                         line.size()};
    }
    if (pairs == 0) {
        return LineError{"the record ends before its count", line.size() + 1};
    }
    // The count covers address, data and checksum; all bytes together sum to 0xFF.
    const std::size_t count = bytes[0];
    if (count != pairs - 1) {
        return LineError{"count " + hexByte(static_cast<unsigned>(count)) + " says " +
                             std::to_string(count) + " bytes follow, the line holds " +
                             std::to_string(pairs - 1),
                         3};
    }
    if (count < addressBytes + 1) {
        return LineError{"count " + hexByte(static_cast<unsigned>(count)) +
                             " is too small for an S" + std::to_string(type) +
                             " record (at least " + std::to_string(addressBytes + 1) + ")",
                         3};
    }
    if ((sum & 0xFF) != 0xFF) {
        const unsigned found = bytes[pairs - 1];
        const unsigned expected = 0xFF - ((sum - found) & 0xFF);
        return LineError{"checksum " + hexByte(found) + ", the line sums to " + hexByte(expected),
                         line.size() - 1};
    }
    DecodedRecord record;
    record.kind = kindOf(type);
    record.type = type;
    for (std::size_t i = 0; i < addressBytes; ++i) {
        record.address = (record.address << 8) | bytes[1 + i];
    }
    record.data =
        std::span<const std::uint8_t>(bytes.data() + 1 + addressBytes, count - 1 - addressBytes);
    return record;
}

// Joins the data of input records at consecutive addresses into records of 64 data bytes or
// more (at most kMaxRecordData), as they will be sent.
class SRecordDecoder {
  public:
    explicit SRecordDecoder(ProgramSink& sink) : sink_(sink) {}

    DecodeResult run(platform::ReadableFile& file);

  private:
    // Handles one line at offset (its line end already taken off); a result when decoding
    // has ended.
    std::optional<DecodeResult> handleLine(std::string_view line, std::uint64_t offset);
    bool appendData(std::uint32_t address, std::span<const std::uint8_t> data);
    bool sendPending();

    ProgramSink& sink_;
    // The pending record: its address and data; none is pending when pendingCount_ is 0.
    std::uint32_t pendingAddress_ = 0;
    std::size_t pendingCount_ = 0;
    std::array<std::uint8_t, kMaxRecordData> pending_{};
    // The address just past the last data byte of the previous data record; 2^32 after data
    // that reached the top of the address space, so that nothing joins on at address 0.
    std::uint64_t expectedAddress_ = 0;
    std::int64_t lineNumber_ = 0;
    std::uint64_t fileSize_ = 0;
    std::array<std::uint8_t, kMaxRecordBytes> recordBytes_{};
};

// Sends the pending record; afterwards none is pending, whatever the outcome.
bool SRecordDecoder::sendPending() {
    const std::size_t count = pendingCount_;
    pendingCount_ = 0;
    return sink_.record(pendingAddress_, std::span(pending_.data(), count));
}

// A record whose address follows on from the previous one is appended to the pending record;
// otherwise the pending record goes out first. A pending record that is full is sent and
// the rest of the data continues in a new record at the next address.
bool SRecordDecoder::appendData(std::uint32_t address, std::span<const std::uint8_t> data) {
    if (pendingCount_ > 0 && address != expectedAddress_ && !sendPending()) {
        return false;
    }
    std::uint64_t next = address;
    while (!data.empty()) {
        if (pendingCount_ == pending_.size() && !sendPending()) {
            return false;
        }
        if (pendingCount_ == 0) {
            pendingAddress_ = static_cast<std::uint32_t>(next);
        }
        const std::size_t take = std::min(data.size(), pending_.size() - pendingCount_);
        std::copy_n(data.begin(), take,
                    pending_.begin() + static_cast<std::ptrdiff_t>(pendingCount_));
        pendingCount_ += take;
        next += take;
        data = data.subspan(take);
    }
    expectedAddress_ = next;
    return true;
}

// A line that fails its check ends the decoding before any of its bytes, or the pending
// record's, goes to the sink. Empty lines are passed over.
std::optional<DecodeResult> SRecordDecoder::handleLine(std::string_view line,
                                                       std::uint64_t offset) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.empty()) {
        return std::nullopt;
    }
    const auto decoded = decodeLine(line, recordBytes_);
    if (const auto* error = std::get_if<LineError>(&decoded)) {
        return formatError(error->reason, static_cast<std::int64_t>(offset + error->column - 1),
                           lineNumber_, static_cast<std::int64_t>(error->column));
    }
    const DecodedRecord& record = std::get<DecodedRecord>(decoded);
    switch (record.kind) {
        case RecordKind::Skipped:
            return std::nullopt;
        case RecordKind::End:
            if (pendingCount_ > 0 && !sendPending()) {
                return stopped();
            }
            return completed();
        case RecordKind::Data:
            break;
    }
    // A data record without data bytes carries nothing: it neither splits nor joins.
    if (record.data.empty()) {
        return std::nullopt;
    }
    if (record.address + std::uint64_t{record.data.size()} > kAddressSpaceEnd) {
        return formatError("the data run past address 0xFFFFFFFF",
                           static_cast<std::int64_t>(offset + 2), lineNumber_, 3);
    }
    sink_.covers(record.address, record.data.size());
    if (!appendData(record.address, record.data) ||
        (pendingCount_ >= kJoinedDataThreshold && !sendPending())) {
        return stopped();
    }
    return std::nullopt;
}

// Takes the file in 256-byte chunks (from the block reader's memory) and marks progress after
// each chunk; a line may span chunks. What follows the end record is never read, only counted.
DecodeResult SRecordDecoder::run(platform::ReadableFile& file) {
    const std::int64_t size = file.size();
    if (size < 0) {
        return readError(0, 0);
    }
    fileSize_ = static_cast<std::uint64_t>(size);
    std::uint64_t consumed = 0;
    BlockReader reader(file);
    std::array<std::uint8_t, kReadChunkSize> scratch{};
    std::array<char, kMaxLineLength + 1> lineBuffer{};  // room for the CR
    std::size_t lineLength = 0;
    std::uint64_t lineOffset = 0;
    // Ends decoding at a line's end; the bytes after the end record are counted.
    const auto finishLine = [&](std::string_view line,
                                std::uint64_t nextOffset) -> std::optional<DecodeResult> {
        ++lineNumber_;
        std::optional<DecodeResult> ended = handleLine(line, lineOffset);
        if (ended && ended->status == DecodeStatus::Complete) {
            ended->trailingBytes = fileSize_ - std::min(nextOffset, fileSize_);
        }
        lineOffset = nextOffset;
        return ended;
    };

    while (consumed < fileSize_) {
        const std::span<const std::uint8_t> chunk = reader.next(scratch);
        const std::size_t got = chunk.size();
        if (got == 0) {
            return readError(static_cast<std::int64_t>(consumed), fileSize_);
        }
        const char* const chunkStart = reinterpret_cast<const char*>(chunk.data());
        const char* next = chunkStart;
        const char* const end = next + got;
        while (next < end) {
            const auto* lineEnd = static_cast<const char*>(
                std::memchr(next, '\n', static_cast<std::size_t>(end - next)));
            const char* const segmentEnd = lineEnd != nullptr ? lineEnd : end;
            const auto segment = static_cast<std::size_t>(segmentEnd - next);
            std::string_view line;
            if (lineLength == 0 && lineEnd != nullptr) {
                line = std::string_view(next, segment);  // the whole line lies in this chunk
            } else {
                if (lineLength + segment > lineBuffer.size()) {
                    return formatError("line longer than " + std::to_string(kMaxLineLength) +
                                           " characters, the longest record",
                                       static_cast<std::int64_t>(lineOffset + kMaxLineLength),
                                       lineNumber_ + 1,
                                       static_cast<std::int64_t>(kMaxLineLength + 1));
                }
                std::memcpy(lineBuffer.data() + lineLength, next, segment);
                lineLength += segment;
                line = std::string_view(lineBuffer.data(), lineLength);
            }
            next = segmentEnd;
            if (lineEnd != nullptr) {
                ++next;
                lineLength = 0;
                const std::uint64_t nextOffset =
                    consumed + static_cast<std::uint64_t>(next - chunkStart);
                if (auto ended = finishLine(line, nextOffset)) {
                    return *ended;
                }
            }
        }
        consumed += got;
        sink_.progress(consumed, fileSize_);
    }
    // A last line without a line end still counts.
    if (lineLength > 0) {
        if (auto ended = finishLine(std::string_view(lineBuffer.data(), lineLength), fileSize_)) {
            return *ended;
        }
    }
    if (fileSize_ == 0) {
        return formatError("the file is empty", 0);
    }
    return formatError("the file ends without an end record (S7, S8 or S9)",
                       static_cast<std::int64_t>(fileSize_));
}

}  // namespace

int hexPairValue(char first, char second) {
    const int high = kDigitValue[static_cast<unsigned char>(first)];
    const int low = kDigitValue[static_cast<unsigned char>(second)];
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

DecodeResult decodeSRecordFile(platform::ReadableFile& file, ProgramSink& sink) {
    SRecordDecoder decoder(sink);
    return decoder.run(file);
}

}  // namespace vorlanth::readers
