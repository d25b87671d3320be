// Frames and sends binary records: fills in count and checksum, resends on "FN", gives up on
// "FF" or after three sends, and sends the end record.
#include "protocol/record.h"

#include <algorithm>
#include <cstring>

#include "protocol/words.h"

namespace vorlanth::protocol {

namespace {

enum class Verdict { Accepted, SendAgain, Refused, ReadFailed };

// Looks at up to three answer lines of one send; a line that is no verdict makes the next
// line be read with the 2-second deadline, and the line the third further read brings is
// not looked at.
Verdict awaitVerdict(link::Link& link) {
    for (int look = 0; look < kRecordLooks; ++look) {
        if (link.responseLine == reply::kFa) {
            return Verdict::Accepted;
        }
        if (link.responseLine == reply::kFn) {
            return Verdict::SendAgain;
        }
        if (link.responseLine == reply::kFf) {
            return Verdict::Refused;
        }
        if (link::readResponseLine(link, link::kFurtherLineDeadlineSeconds) != ResultCode::Done) {
            return Verdict::ReadFailed;
        }
    }
    return Verdict::SendAgain;
}

}  // namespace

// The address goes most significant byte first.
// Adds eight bytes at a time in four 16-bit lanes (a record or block holds at most 258 bytes,
// so no lane can overflow), then the rest one by one.
std::uint8_t onesComplementChecksum(std::span<const std::uint8_t> bytes) {
    constexpr std::uint64_t kLowBytes = 0x00FF00FF00FF00FFu;
    std::uint64_t lanes = 0;
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + i, sizeof word);
        lanes += (word & kLowBytes) + ((word >> 8) & kLowBytes);
    }
    std::uint64_t sum =
        (lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) + ((lanes >> 32) & 0xFFFF) + (lanes >> 48);
    for (; i < bytes.size(); ++i) {
        sum += bytes[i];
    }
    return static_cast<std::uint8_t>(0xFF - (sum & 0xFF));
}

std::size_t openDataRecord(TransmitBuffer& buffer, std::uint32_t address) {
    buffer[kRecordStartOffset] = kRecordStart;
    buffer[kRecordTypeOffset] = kDataRecordType;
    for (std::size_t i = 0; i < 4; ++i) {
        buffer[kRecordAddressOffset + i] = static_cast<std::uint8_t>(address >> (24 - 8 * i));
    }
    return kRecordDataOffset;
}

// Count and checksum are computed once, so every send transmits identical bytes.
ResultCode sendRecord(link::Link& link, TransmitBuffer& buffer, int length) {
    if (length < static_cast<int>(kRecordDataOffset) ||
        length > static_cast<int>(kRecordDataOffset + kMaxRecordData)) {
        return ResultCode::RecordUploadError;
    }
    const auto end = static_cast<std::size_t>(length);
    buffer[kRecordCountOffset] = static_cast<std::uint8_t>(length - 2);
    buffer[end] = onesComplementChecksum(std::span<const std::uint8_t>(
        buffer.data() + kRecordCountOffset, end - kRecordCountOffset));
    buffer[end + 1] = '\r';
    const std::span<const std::uint8_t> frame(buffer.data(), end + 2);

    for (int sends = 0; sends < kRecordSends; ++sends) {
        if (link::exchange(link, frame) != ResultCode::Done) {
            return ResultCode::RecordUploadError;
        }
        switch (awaitVerdict(link)) {
            case Verdict::Accepted:
                return ResultCode::Done;
            case Verdict::Refused:
            case Verdict::ReadFailed:
                return ResultCode::RecordUploadError;
            case Verdict::SendAgain:
                break;
        }
    }
    return ResultCode::RecordUploadError;
}

// The end record is neither acknowledged nor sent again.
ResultCode sendEndRecord(link::Link& link, TransmitBuffer& buffer) {
    std::copy(kEndRecord.begin(), kEndRecord.end(), buffer.begin());
    return link::exchange(link, std::span<const std::uint8_t>(buffer.data(), kEndRecord.size()));
}

}  // namespace vorlanth::protocol
