// The words of the terminal protocol: every command the loader sends and every answer it
// recognises, byte for byte.
#pragma once

#include <string_view>

namespace vorlanth::protocol {

// Every command the loader sends to the terminal, exactly as it goes on the link (each with
// its carriage return, never with a terminating zero byte).
namespace command {
inline constexpr std::string_view kWake = "\r";
inline constexpr std::string_view kAttention = "MERIDOX\r";
inline constexpr std::string_view kDownload = "DOWNLOAD\r";
inline constexpr std::string_view kBasicDownload = "TOLVEX\r";
inline constexpr std::string_view kChecksumBlocks = "000300\r";
inline constexpr std::string_view kErase = ":ERASE\r";
inline constexpr std::string_view kBasicEnd = "END\r";
}  // namespace command

// Every answer word the loader recognises; a response line matches a word only when the
// whole line equals it, letter case included.
namespace reply {
inline constexpr std::string_view kAck = "ACK";    // BASIC mode, block or "END\r" accepted
inline constexpr std::string_view kFk = "FK";      // BASIC mode with checksummed blocks
inline constexpr std::string_view kNak = "NAK";    // checksum-mode request refused
inline constexpr std::string_view kFn = "FN";      // ready; for a record: send it again
inline constexpr std::string_view kFf = "FF";      // ready after "\r"; for a record: refused
inline constexpr std::string_view kAck1 = "ACK1";  // go on with "DOWNLOAD\r"
inline constexpr std::string_view kAck2 = "ACK2";  // download mode entered
inline constexpr std::string_view kFa = "FA";      // flash erased; record accepted
inline constexpr std::string_view kFb = "FB";      // erase under way
}  // namespace reply

}  // namespace vorlanth::protocol
