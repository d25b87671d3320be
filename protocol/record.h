// The binary record frame (layout, end record, checksum) and sending records until the terminal
// gives its verdict.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "common/types.h"
#include "link/link.h"

namespace vorlanth::protocol {

// Layout of a binary record in the TransmitBuffer: "S", type digit, count, 4-byte big-endian
// address, data, checksum, carriage return.
inline constexpr std::size_t kRecordStartOffset = 0;
inline constexpr std::size_t kRecordTypeOffset = 1;
inline constexpr std::size_t kRecordCountOffset = 2;
inline constexpr std::size_t kRecordAddressOffset = 3;
inline constexpr std::size_t kRecordDataOffset = 7;
inline constexpr std::uint8_t kRecordStart = 'S';
inline constexpr std::uint8_t kDataRecordType = '3';
// The most data bytes one record carries: 7 header bytes + data + checksum + CR fit in 258.
using vorlanth::kMaxRecordData;
static_assert(kMaxRecordData == kTransmitBufferSize - kRecordDataOffset - 2);

// The fixed end record: type "7", count 5, address 0, checksum 0xFA, CR.
inline constexpr std::array<std::uint8_t, 9> kEndRecord = {0x53, 0x37, 0x05, 0x00, 0x00,
                                                           0x00, 0x00, 0xFA, 0x0D};

// Sends per record, and looks at the answers per send.
inline constexpr int kRecordSends = 3;
inline constexpr int kRecordLooks = 3;

// The one's complement of the low byte of the sum of bytes: the checksum of records and blocks.
std::uint8_t onesComplementChecksum(std::span<const std::uint8_t> bytes);

// Writes "S", "3" and the big-endian address at the head of the buffer; returns the
// assembled length of the empty record (7).
std::size_t openDataRecord(TransmitBuffer& buffer, std::uint32_t address);

// Completes the record assembled in buffer[0, length) with count, checksum and CR, sends it
// and waits for "FA": Done, or -106 (refused, failed exchange, or three sends without verdict).
ResultCode sendRecord(link::Link& link, TransmitBuffer& buffer, int length);

// Writes the end record into the buffer and sends it once; returns the exchange's result.
ResultCode sendEndRecord(link::Link& link, TransmitBuffer& buffer);

}  // namespace vorlanth::protocol
