// The values every layer shares: result codes, link types, file types, the user's upload
// settings, the transmit buffer and the terminal's last response line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/fixed_text.h"

namespace vorlanth {

// Signed result of every link, protocol and transfer operation: positive is success,
// 0 a failure without a message of its own, negative a named failure.
using ResultCode = std::int32_t;

namespace result {
inline constexpr ResultCode kUploadSucceeded = 100;
inline constexpr ResultCode kCantOpenComPort = -100;
inline constexpr ResultCode kCantConfigureIrDevice = -101;
inline constexpr ResultCode kFailedToSetCommState = -102;
inline constexpr ResultCode kSocketLibraryFailed = -103;
inline constexpr ResultCode kCantCreateSocket = -104;
inline constexpr ResultCode kCantConnect = -105;
inline constexpr ResultCode kRecordUploadError = -106;
inline constexpr ResultCode kFailedToEraseFlash = -107;
inline constexpr ResultCode kCantEraseFlash = -108;
inline constexpr ResultCode kBlockUploadError = -109;
inline constexpr ResultCode kCommunicationError = -110;
inline constexpr ResultCode kTerminalNotReady = -111;
inline constexpr ResultCode kInvalidIpAddress = -150;
inline constexpr ResultCode kCantOpenFile = -151;
inline constexpr ResultCode kCantOpenCompanionFile = -152;
inline constexpr ResultCode kRetryQuestion = -153;
}  // namespace result

// Link kinds; values outside 0..2 can only come from a hand-edited settings file.
enum LinkType : int { Serial = 0, CradleIr = 1, Network = 2 };
// Program file types; what differs between them is in one table (readers/file_types.h).
enum FileType : int { SRecord = 0, Basic = 1, BinaryImage = 2 };
inline constexpr int kFileTypeCount = 3;
enum ExecutionMode : int { Interactive = 0, Automatic = 1 };

inline constexpr std::array<std::uint32_t, 5> kBaudRates = {115200, 57600, 38400, 19200, 9600};

// The user's choices; one instance for the whole run.
struct UploadSettings {
    int linkType = Serial;
    int comPort = 1;
    int baudIndex = 0;
    FixedText<19> targetAddress;
    std::uint16_t targetPort = 3000;
    int fileType = SRecord;
    FixedText<255> programPath;
    int executionMode = Interactive;
    int alwaysOnTop = 0;
};

// Presets every field that start-up presets (program path and mode are set elsewhere).
void presetUploadSettings(UploadSettings& settings);

// The buffer in which every outgoing record or block is assembled.
inline constexpr std::size_t kTransmitBufferSize = 258;
using TransmitBuffer = std::array<std::uint8_t, kTransmitBufferSize>;
// The most data bytes one binary record carries: its "S", type, count and 4-byte address, the
// data, its checksum and CR fit in the TransmitBuffer.
inline constexpr std::size_t kMaxRecordData = kTransmitBufferSize - 9;

// The last line read from the terminal: at most 15 characters, NUL-terminated, without its CR.
struct ResponseLine {
    static constexpr std::size_t kCapacity = 15;
    std::array<char, kCapacity + 1> bytes{};

    void clear() { bytes.fill('\0'); }
    std::string_view text() const;
    bool operator==(std::string_view word) const { return text() == word; }
};

}  // namespace vorlanth
