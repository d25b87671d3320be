// Opening, closing and using the link through its transport, blind to which kind it is: the
// kind's own code is found once, in link_kind.cpp.
#include "link/link.h"

#include <algorithm>

#include "link/link_kind.h"

namespace vorlanth::link {

namespace {

// What a warning about a refused line setting is called.
constexpr std::string_view kLineNotApplied = "line settings not applied";

// The failure of a read or send with no link open (a reopening for a retry failed).
FailureDetail linkNotOpen(const Link& link) {
    return objectFailure(lineName(link.settings), "the link is not open");
}

}  // namespace

ResultCode openLink(Link& link) {
    return linkKindOf(link.settings.linkType).open(link);
}

// Whatever is open is released, whichever link type is chosen now, so that a change of link
// type between passes can never leave a port or socket behind.
void closeLink(Link& link) {
    if (link.state.transport) {
        link.state.transport->close();
        link.state.transport.reset();
    }
}

void sayRefusedSetting(Link& link, const FailureDetail& refusal) {
    link.warnings.warn(kLineNotApplied, refusal);
}

// A setting the device refuses is said; the attempt goes on, as it would on that line.
void prepareUpload(Link& link) {
    if (link.state.transport) {
        if (Status prepared = link.state.transport->prepareUpload(); !prepared) {
            sayRefusedSetting(link, prepared.failure());
        }
    }
}

// The deadline is counted from the call; a stop request, a link that is not open, a lost line
// or a failed receive ends the read at once.
ResultCode readResponseLine(Link& link, std::int32_t seconds) {
    ResponseLine& line = link.responseLine;
    line.clear();
    // A deadline must stay within half the tick counter's range to compare correctly.
    constexpr std::int32_t kLongestSeconds = 24 * 60 * 60;
    const std::int32_t bounded = std::clamp(seconds, 0, kLongestSeconds);
    const std::uint32_t deadline =
        link.clock().tickCount() + static_cast<std::uint32_t>(bounded) * 1000u;
    if (link.platform.stopRequested() != 0) {
        return ResultCode::Failed;
    }
    if (!link.state.transport) {
        link.failure = linkNotOpen(link);
        return ResultCode::Failed;
    }
    Result<LineEnd> read = link.state.transport->readLine(line, deadline);
    if (!read) {
        link.failure = std::move(read).failure();
        return ResultCode::Failed;
    }
    return *read == LineEnd::Stopped ? ResultCode::Failed : ResultCode::Done;
}

// An answer that arrived late for an earlier send must not pass for the answer to this one,
// so waiting input is dropped first.
ResultCode exchange(Link& link, std::span<const std::uint8_t> bytes) {
    if (link.platform.stopRequested() != 0) {
        return ResultCode::Failed;
    }
    if (link.state.transport) {
        link.state.transport->dropLateInput();
        if (Status sent = link.state.transport->send(bytes); !sent) {
            link.failure = std::move(sent).failure();
            return ResultCode::Failed;
        }
    }
    return readResponseLine(link, kExchangeDeadlineSeconds);
}

}  // namespace vorlanth::link
