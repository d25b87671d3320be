#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "common/failure_detail.h"
#include "common/types.h"
#include "link/wire_trace.h"
#include "platform/platform.h"

namespace vorlanth::link {

// The open link and what the cradle set-up remembers.
struct LinkState {
    std::unique_ptr<platform::SerialPort> portHandle;
    std::unique_ptr<platform::DatagramSocket> socketHandle;
    // True between a successful start of the sockets library and its matching clean-up.
    bool socketLibraryStarted = false;
    platform::LineSettings lineSettings;
    std::uint32_t cradleRate = 0;
    std::uint32_t cradleDelayMs = 0;
};

// What the link operations work on: the link's state, the response line, the settings
// that choose the link, the platform, an optional observer of the traffic, and where to say
// why an operation failed (when anyone asks).
struct Link {
    LinkState& state;
    ResponseLine& responseLine;
    const UploadSettings& settings;
    platform::Platform& platform;
    WireObserver* observer = nullptr;
    FailureDetail* failure = nullptr;

    // Link types above Network come only from a hand-edited file; they open a network link,
    // so every operation treats them as one.
    bool isNetwork() const { return settings.linkType >= Network; }
    platform::Clock& clock() const { return platform.clock(); }
};

// Keeps why an operation failed where the link's user asked for it (link.failure).
void noteFailure(Link& link, FailureDetail detail);

// Tells the link's observer, if any, of a chunk sent or received, with the tick it happened at.
void reportWireChunk(Link& link, WireDirection direction, std::span<const std::uint8_t> bytes);

// Deadlines, in seconds, that callers pass to readResponseLine.
inline constexpr std::int32_t kExchangeDeadlineSeconds = 8;
inline constexpr std::int32_t kEraseDeadlineSeconds = 35;
inline constexpr std::int32_t kFurtherLineDeadlineSeconds = 2;

// Device queue sizes requested on every serial open.
inline constexpr std::uint32_t kInputQueueBytes = 256;
inline constexpr std::uint32_t kOutputQueueBytes = 1200;

// Opens the link that linkType names: 1, or -100/-101 (serial kinds), -103/-104/-105 or -150
// (network).
ResultCode openLink(Link& link);
// Closes the link that the current linkType names; the cradle's remembered rate survives.
void closeLink(Link& link);
// Sets 8 data bits, no parity, one stop bit, DTR and RTS on and no output flow control: the
// line both serial link kinds (Serial and the infrared cradle) run on.
void setPlainSerialLine(platform::LineSettings& line);
// Builds the Serial line settings from baudIndex on the record as it stands.
void applySerialLineSettings(Link& link);
// Applies the serial time-out policy of an upload attempt (reads at once, writes 5 ms/byte + 50).
void applyUploadTimeouts(Link& link);
// Reads one line ended by CR under a deadline: 1 when the read ended; 0 at once when a receive
// failed, the line was lost, no link is open, or a stop of the run was requested.
int readResponseLine(Link& link, std::int32_t seconds);
// Discards stale input, sends the bytes, and reads the answer with an 8-second deadline; 0
// without waiting when the write finds the line lost.
int exchange(Link& link, std::span<const std::uint8_t> bytes);

// Shows a result message on behalf of the network link (used when showMessages > 0).
using ShowMessage = std::function<void(ResultCode)>;
// Opens the network link to addressText and targetPort: 1, -103, -104, -105, or -150 when
// the address names no terminal (resolveTargetAddress).
ResultCode openNetworkLink(Link& link, std::string_view addressText, int showMessages,
                           const ShowMessage& showMessage = {});

using Ipv4Address = std::array<std::uint8_t, 4>;

// What an address text is, before any resolver sees it.
enum class AddressText {
    DottedQuad,  // four decimal numbers 0..255 separated by single dots
    HostName,    // letters, digits, hyphens and dots in labels of 1..63, not all labels numbers
    Invalid,     // anything else, other numeric forms ("127.1", "0x7f.1", "2130706433") included
};
// Classifies address text; address receives the four numbers of a DottedQuad.
AddressText classifyAddressText(std::string_view text, Ipv4Address& address);

// The terminal's IPv4 address that text names: a dotted quad as written, or a host name
// through the platform's resolver. Nothing for any other text, for a name that does not
// resolve, and for 0.0.0.0 and 255.255.255.255 (this machine, every machine); why says which.
// Nothing is sent to the address here.
std::optional<Ipv4Address> resolveTargetAddress(platform::SocketLibrary& sockets,
                                                std::string_view text, FailureDetail* why);

// Finds the infrared cradle's rate and switches it to the chosen one: 1, or 0 when not found
// (or the line was lost, or a stop was requested).
int configureCradle(Link& link);
// Probes the cradle at rate: 1 when it echoed 0x0F within the settle delay, 0 when it did
// not, -1 when the line was lost or the probe byte could not be written.
int probeCradleRate(Link& link, std::uint32_t rate);

}  // namespace vorlanth::link
