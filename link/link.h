// The link as the protocol and the shell use it: the open transport and what the cradle set-up
// remembers, opening and closing the link the settings name, and the two operations every
// exchange with the terminal goes through (exchange, readResponseLine).
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "common/failure_detail.h"
#include "common/types.h"
#include "common/warning_sink.h"
#include "link/transport.h"
#include "link/wire_trace.h"
#include "platform/platform.h"

namespace vorlanth::link {

// The open link and what the cradle set-up remembers.
struct LinkState {
    // The open line to the terminal, or nothing. A link whose set-up failed may still hold
    // what it opened until closeLink.
    std::unique_ptr<Transport> transport;
    // The rate, in bit/s, to which the infrared cradle was last switched; 0 when none is
    // remembered. Neither closeLink nor the per-pass reset clears it.
    std::uint32_t cradleRate = 0;
};

// What the link operations work on: the link's state, the response line, the settings that
// choose the link, the platform, an optional observer of the traffic, where to say why an
// operation failed, and where to say what went wrong without failing it.
struct Link {
    LinkState& state;
    ResponseLine& responseLine;
    const UploadSettings& settings;
    platform::Platform& platform;
    WireObserver* observer;
    FailureDetail& failure;
    WarningSink& warnings;

    platform::Clock& clock() const { return platform.clock(); }
};

// Deadlines, in seconds, that callers pass to readResponseLine.
inline constexpr std::int32_t kExchangeDeadlineSeconds = 8;
inline constexpr std::int32_t kEraseDeadlineSeconds = 35;
inline constexpr std::int32_t kFurtherLineDeadlineSeconds = 2;

// Opens the link the settings name (link_kind.h): Done, or -100/-101 (serial kinds),
// -103/-104/-105 or -150 (network), with why in link.failure. A line setting the device
// refused does not fail the open; it is said to link.warnings.
ResultCode openLink(Link& link);
// Releases whatever the link holds, whichever kind is chosen now; the cradle's remembered rate
// survives.
void closeLink(Link& link);
// Says a setting of the line that the device refused, as a warning: the operation goes on.
void sayRefusedSetting(Link& link, const FailureDetail& refusal);
// Readies the open link for an upload attempt (the serial kinds bound their writes).
void prepareUpload(Link& link);
// Reads one line ended by CR under a deadline: Done when the read ended (the line holds what
// came); Failed at once when a receive failed, the line was lost, no link is open, or a stop
// of the run was requested.
ResultCode readResponseLine(Link& link, std::int32_t seconds);
// Drops input that came late, sends the bytes, and reads the answer with an 8-second
// deadline; Failed without waiting when the send finds the line lost.
ResultCode exchange(Link& link, std::span<const std::uint8_t> bytes);

}  // namespace vorlanth::link
