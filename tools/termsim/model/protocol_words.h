// The words the terminal answers with and the commands it understands, written once.
#pragma once

#include <cstdint>
#include <string_view>

namespace vorlanth::termsim {

namespace reply {
inline constexpr std::string_view kAck = "ACK";
inline constexpr std::string_view kNak = "NAK";
inline constexpr std::string_view kChecksumWanted = "FK";
inline constexpr std::string_view kAccepted = "FA";
inline constexpr std::string_view kEraseUnderWay = "FB";
inline constexpr std::string_view kSendAgain = "FN";
inline constexpr std::string_view kRefused = "FF";
inline constexpr std::string_view kAck1 = "ACK1";
inline constexpr std::string_view kAck2 = "ACK2";
inline constexpr std::string_view kEmptyLine = "";
}  // namespace reply

// Command lines without their carriage return; "" is the lone "\r".
namespace command {
inline constexpr std::string_view kWake = "";
inline constexpr std::string_view kMeridox = "MERIDOX";
inline constexpr std::string_view kDownload = "DOWNLOAD";
inline constexpr std::string_view kBasic = "TOLVEX";
inline constexpr std::string_view kChecksumMode = "000300";
inline constexpr std::string_view kErase = ":ERASE";
inline constexpr std::string_view kBasicEnd = "END";
}  // namespace command

inline constexpr uint8_t kCarriageReturn = 0x0D;
inline constexpr uint8_t kRecordStart = 'S';
inline constexpr uint8_t kDataRecordType = '3';
inline constexpr uint8_t kEndRecordType = '7';
inline constexpr size_t kCompanionBlockSize = 100;
inline constexpr size_t kHeaderBlockSize = 8;
inline constexpr size_t kCountBlockSize = 2;
inline constexpr size_t kPieceSize = 64;

// One's complement of the low byte of the sum: the check byte of records and blocks.
inline uint8_t complementChecksum(uint32_t sum) {
    return static_cast<uint8_t>(255 - (sum & 0xFF));
}

}  // namespace vorlanth::termsim
