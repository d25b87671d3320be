#include "readers/srecord_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "link/link.h"
#include "protocol/record.h"

namespace vorlanth::readers {

namespace {

constexpr std::size_t kChunkSize = 256;
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

// The value of every pair of characters, -1 for a pair that is not two hexadecimal digits:
// one look-up per byte instead of two.
const std::array<std::int16_t, 65536>& pairValues() {
    static const std::array<std::int16_t, 65536> table = [] {
        std::array<std::int16_t, 65536> values{};
        for (std::size_t key = 0; key < values.size(); ++key) {
            const int high = kDigitValue[key >> 8];
            const int low = kDigitValue[key & 0xFF];
            values[key] = static_cast<std::int16_t>(high < 0 || low < 0 ? -1 : high * 16 + low);
        }
        return values;
    }();
    return table;
}

// Address bytes of each record type; 0 marks a type that is not accepted (S4).
constexpr std::array<std::size_t, 10> kAddressBytes = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

enum class RecordKind { Skipped, Data, End };

// One input line, decoded and checked.
struct DecodedRecord {
    RecordKind kind = RecordKind::Skipped;
    std::uint32_t address = 0;
    std::span<const std::uint8_t> data;
};

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

// Decodes a line without its line end into bytes; nothing when a character, the length, the
// count or the checksum is wrong.
std::optional<DecodedRecord> decodeLine(std::string_view line,
                                        std::array<std::uint8_t, kMaxRecordBytes>& bytes) {
    if (line.size() < 4 || line.size() % 2 != 0 || line[0] != 'S' || line[1] < '0' ||
        line[1] > '9') {
        return std::nullopt;
    }
    const int type = line[1] - '0';
    const std::size_t addressBytes = kAddressBytes[static_cast<std::size_t>(type)];
    if (addressBytes == 0) {
        return std::nullopt;
    }
    const std::size_t pairs = (line.size() - 2) / 2;
    const std::array<std::int16_t, 65536>& values = pairValues();
    const auto* text = reinterpret_cast<const std::uint8_t*>(line.data()) + 2;
    unsigned sum = 0;
    int invalid = 0;
    for (std::size_t i = 0; i < pairs; ++i) {
        const int value = values[static_cast<std::size_t>(text[2 * i] << 8 | text[2 * i + 1])];
        invalid |= value;
        bytes[i] = static_cast<std::uint8_t>(value);
        sum += static_cast<unsigned>(value);
    }
    if (invalid < 0) {
        return std::nullopt;
    }
    // The count covers address, data and checksum; all bytes together sum to 0xFF.
    const std::size_t count = bytes[0];
    if (count != pairs - 1 || count < addressBytes + 1 || (sum & 0xFF) != 0xFF) {
        return std::nullopt;
    }
    DecodedRecord record;
    record.kind = kindOf(type);
    for (std::size_t i = 0; i < addressBytes; ++i) {
        record.address = (record.address << 8) | bytes[1 + i];
    }
    record.data =
        std::span<const std::uint8_t>(bytes.data() + 1 + addressBytes, count - 1 - addressBytes);
    return record;
}

// Joins the data of input records at consecutive addresses into pending type-"3" records.
class SRecordUpload {
  public:
    SRecordUpload(Session& session, ProgressSink& progress)
        : session_(session), link_(link::linkOf(session)), progress_(progress) {}

    ResultCode run();

  private:
    // Handles one line; a result when the transfer has ended.
    std::optional<ResultCode> handleLine(std::string_view line);
    std::optional<ResultCode> appendData(const DecodedRecord& record);
    ResultCode sendPending();
    std::size_t pendingData() const { return pendingLength_ - protocol::kRecordDataOffset; }

    Session& session_;
    link::Link link_;
    ProgressSink& progress_;
    // Assembled length of the pending record; 0 when none is pending.
    std::size_t pendingLength_ = 0;
    // The address just past the last data byte of the previous data record.
    std::uint32_t expectedAddress_ = 0;
    std::array<std::uint8_t, kMaxRecordBytes> recordBytes_{};
};

// Sends the pending record; afterwards none is pending, whatever the outcome.
ResultCode SRecordUpload::sendPending() {
    const ResultCode sent =
        protocol::sendRecord(link_, session_.transmitBuffer, static_cast<int>(pendingLength_));
    pendingLength_ = 0;
    return sent > 0 ? 1 : result::kRecordUploadError;
}

// A record whose address follows on from the previous one is appended to the pending record;
// otherwise the pending record goes out first. A pending record that is full is sent and
// the rest of the data continues in a new record at the next address.
std::optional<ResultCode> SRecordUpload::appendData(const DecodedRecord& record) {
    if (pendingLength_ > 0 && record.address != expectedAddress_) {
        if (sendPending() != 1) {
            return result::kRecordUploadError;
        }
    }
    TransmitBuffer& buffer = session_.transmitBuffer;
    std::uint32_t address = record.address;
    std::span<const std::uint8_t> data = record.data;
    while (!data.empty()) {
        if (pendingLength_ > 0 && pendingData() == protocol::kMaxRecordData) {
            if (sendPending() != 1) {
                return result::kRecordUploadError;
            }
        }
        if (pendingLength_ == 0) {
            pendingLength_ = protocol::openDataRecord(buffer, address);
        }
        const std::size_t take = std::min(data.size(), protocol::kMaxRecordData - pendingData());
        std::copy_n(data.begin(), take,
                    buffer.begin() + static_cast<std::ptrdiff_t>(pendingLength_));
        pendingLength_ += take;
        address += static_cast<std::uint32_t>(take);
        data = data.subspan(take);
    }
    expectedAddress_ = address;
    return std::nullopt;
}

// A record that fails its check ends the transfer before any of its bytes, or the pending
// record's, is sent. Empty lines are passed over.
std::optional<ResultCode> SRecordUpload::handleLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    if (line.empty()) {
        return std::nullopt;
    }
    const std::optional<DecodedRecord> record = decodeLine(line, recordBytes_);
    if (!record) {
        showFormatError(session_.frontEnd);
        return result::kRecordUploadError;
    }
    switch (record->kind) {
        case RecordKind::Skipped:
            return std::nullopt;
        case RecordKind::End:
            if (pendingLength_ > 0 && sendPending() != 1) {
                return result::kRecordUploadError;
            }
            return protocol::sendEndRecord(link_, session_.transmitBuffer) == 1
                       ? 1
                       : result::kRecordUploadError;
        case RecordKind::Data:
            break;
    }
    // A data record without data bytes carries nothing: it neither splits nor joins.
    if (record->data.empty()) {
        return std::nullopt;
    }
    if (const auto ended = appendData(*record)) {
        return ended;
    }
    if (pendingLength_ > 0 && pendingData() >= kJoinedDataThreshold) {
        if (sendPending() != 1) {
            return result::kRecordUploadError;
        }
    }
    return std::nullopt;
}

// Reads the file in 256-byte chunks and serves the progress bar after each chunk; a line
// may span chunks. A read that fails or brings nothing before the file's end ends the
// transfer, as does a file that ends without an end record.
ResultCode SRecordUpload::run() {
    platform::ReadableFile& file = *session_.programFile;
    const std::int64_t fileSize = file.size();
    std::uint64_t consumed = 0;
    std::array<std::uint8_t, kChunkSize> chunk{};
    std::array<char, kMaxLineLength + 1> lineBuffer{};  // room for the CR
    std::size_t lineLength = 0;

    while (fileSize > 0 && consumed < static_cast<std::uint64_t>(fileSize)) {
        const std::size_t got = readFully(file, chunk);
        if (got == 0) {
            return result::kRecordUploadError;
        }
        consumed += got;
        const char* next = reinterpret_cast<const char*>(chunk.data());
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
                    showFormatError(session_.frontEnd);
                    return result::kRecordUploadError;
                }
                std::memcpy(lineBuffer.data() + lineLength, next, segment);
                lineLength += segment;
                line = std::string_view(lineBuffer.data(), lineLength);
            }
            next = segmentEnd;
            if (lineEnd != nullptr) {
                ++next;
                lineLength = 0;
                if (const std::optional<ResultCode> ended = handleLine(line)) {
                    return *ended;
                }
            }
        }
        advanceProgress(progress_, consumed, static_cast<std::uint64_t>(fileSize));
    }
    // A last line without a line end still counts.
    if (lineLength > 0) {
        if (const auto ended = handleLine(std::string_view(lineBuffer.data(), lineLength))) {
            return *ended;
        }
    }
    return result::kRecordUploadError;
}

}  // namespace

int hexPairValue(char first, char second) {
    const int high = kDigitValue[static_cast<unsigned char>(first)];
    const int low = kDigitValue[static_cast<unsigned char>(second)];
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

ResultCode transferSRecordFile(Session& session, ProgressSink& progress) {
    if (!session.programFile) {
        return result::kRecordUploadError;
    }
    SRecordUpload upload(session, progress);
    return upload.run();
}

}  // namespace vorlanth::readers
