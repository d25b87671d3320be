// The values every layer shares: result codes, link types, file types, the user's upload
// settings, the transmit buffer and the terminal's last response line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/fixed_text.h"

namespace vorlanth {

// What a link, protocol or transfer operation ended with. Every success is positive (Done for
// a step, UploadSucceeded for a whole upload), Failed is a failure without a message of its
// own, and each negative code is a named failure with its message in the message table. The
// numbers are fixed: the message table, --json and the scripts that read it know them. Like
// Result, a code must be looked at: a call that drops one does not compile.
enum class [[nodiscard]] ResultCode : std::int32_t{
    Failed = 0,
    Done = 1,
    UploadSucceeded = 100,
    CantOpenComPort = -100,
    CantConfigureIrDevice = -101,
    FailedToSetCommState = -102,
    SocketLibraryFailed = -103,
    CantCreateSocket = -104,
    CantConnect = -105,
    RecordUploadError = -106,
    FailedToEraseFlash = -107,
    CantEraseFlash = -108,
    BlockUploadError = -109,
    CommunicationError = -110,
    TerminalNotReady = -111,
    InvalidIpAddress = -150,
    CantOpenFile = -151,
    CantOpenCompanionFile = -152,
    RetryQuestion = -153,  // not an operation's result: the number of the retry question
};

// The number a result code stands for, as the message table and --json give it.
constexpr std::int32_t codeNumber(ResultCode code) {
    return static_cast<std::int32_t>(code);
}

// True for every success: a step done, an upload that succeeded.
constexpr bool succeeded(ResultCode code) {
    return codeNumber(code) > 0;
}

// Link kinds; what differs between them is in one table (link/link_kind.h). Values outside
// 0..2 can only come from a hand-edited settings file.
enum LinkType : int { Serial = 0, CradleIr = 1, Network = 2 };
inline constexpr int kLinkTypeCount = 3;
// Program file types; what differs between them is in one table (readers/file_types.h).
enum FileType : int { SRecord = 0, Basic = 1, BinaryImage = 2 };
inline constexpr int kFileTypeCount = 3;
enum ExecutionMode : int { Interactive = 0, Automatic = 1 };

inline constexpr std::array<std::uint32_t, 5> kBaudRates = {115200, 57600, 38400, 19200, 9600};

// The rate in bit/s a baud index names; 0 for an index without one.
constexpr std::uint32_t baudRateOf(int baudIndex) {
    return baudIndex >= 0 && baudIndex < static_cast<int>(kBaudRates.size())
               ? kBaudRates[static_cast<std::size_t>(baudIndex)]
               : 0;
}

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
