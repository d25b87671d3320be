#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "common/types.h"
#include "link/wire_trace.h"
#include "platform/platform.h"

namespace vorlanth {
struct Session;
}

namespace vorlanth::link {

// What the link operations work on: the link's state, the response line, the settings
// that choose the link, the platform, and an optional observer of the traffic.
struct Link {
    LinkState& state;
    ResponseLine& responseLine;
    const UploadSettings& settings;
    platform::Platform& platform;
    WireObserver* observer = nullptr;

    // Link types above Network come only from a hand-edited file; they open a network link,
    // so every operation treats them as one.
    bool isNetwork() const { return settings.linkType >= Network; }
    platform::Clock& clock() const { return platform.clock(); }
};

// The link view of a session.
Link linkOf(Session& session);

// Deadlines, in seconds, that callers pass to readResponseLine.
inline constexpr std::int32_t kExchangeDeadlineSeconds = 8;
inline constexpr std::int32_t kEraseDeadlineSeconds = 35;
inline constexpr std::int32_t kFurtherLineDeadlineSeconds = 2;

// Device queue sizes requested on every serial open.
inline constexpr std::uint32_t kInputQueueBytes = 256;
inline constexpr std::uint32_t kOutputQueueBytes = 1200;

// Opens the link that linkType names: 1, or -100/-101 (serial kinds), -103/-104/-105 (network).
ResultCode openLink(Link& link);
// Closes the link that the current linkType names; the cradle's remembered rate survives.
void closeLink(Link& link);
// Builds the Serial line settings from baudIndex on the record as it stands.
void applySerialLineSettings(Link& link);
// Applies the serial time-out policy of an upload attempt (reads at once, writes 5 ms/byte + 50).
void applyUploadTimeouts(Link& link);
// Reads one line ended by CR under a deadline: 1 when the read ended, 0 when a receive failed.
int readResponseLine(Link& link, std::int32_t seconds);
// Discards stale input, sends the bytes, and reads the answer with an 8-second deadline.
int exchange(Link& link, std::span<const std::uint8_t> bytes);

// Shows a result message on behalf of the network link (used when showMessages > 0).
using ShowMessage = std::function<void(ResultCode)>;
// Opens the network link to addressText and targetPort: 1, -103, -104 or -105.
ResultCode openNetworkLink(Link& link, std::string_view addressText, int showMessages,
                           const ShowMessage& showMessage = {});
// Four address bytes from dotted text: runs of digits, each ended by any one character, low 8
// bits of each; missing numbers are 0 and the text is never read past its end.
std::array<std::uint8_t, 4> parseIpv4Address(std::string_view text);

// Finds the infrared cradle's rate and switches it to the chosen one: 1, or 0 when not found.
int configureCradle(Link& link);
// Probes the cradle at rate: 1 when it echoed 0x0F within the settle delay.
int probeCradleRate(Link& link, std::uint32_t rate);

}  // namespace vorlanth::link
