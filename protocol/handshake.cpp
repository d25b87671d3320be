// The download-mode handshakes and the flash erase as command-and-answer sequences on the link,
// with their tries and the erase's long wait.
#include "protocol/handshake.h"

#include "protocol/words.h"

namespace vorlanth::protocol {

namespace {

// Sends one command and reads the answer line: the exchange's result (Failed when a receive
// failed).
ResultCode send(link::Link& link, std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    return link::exchange(link, std::span<const std::uint8_t>(bytes, text.size()));
}

// True when the whole response line is word, letter case included.
bool lineIs(const link::Link& link, std::string_view word) {
    return link.responseLine == word;
}

}  // namespace

// Each cycle starts again with "\r"; "FF" means ready only as the answer to "\r".
ResultCode enterDownloadMode(link::Link& link) {
    for (int cycle = 0; cycle < kCommandTries; ++cycle) {
        if (send(link, command::kWake) != ResultCode::Done) {
            return ResultCode::Failed;
        }
        if (lineIs(link, reply::kFn) || lineIs(link, reply::kFf)) {
            return ResultCode::Done;
        }
        if (send(link, command::kAttention) != ResultCode::Done) {
            return ResultCode::Failed;
        }
        if (lineIs(link, reply::kFn)) {
            return ResultCode::Done;
        }
        if (!lineIs(link, reply::kAck1)) {
            continue;
        }
        if (send(link, command::kDownload) != ResultCode::Done) {
            return ResultCode::Failed;
        }
        if (lineIs(link, reply::kFn) || lineIs(link, reply::kAck2)) {
            return ResultCode::Done;
        }
    }
    return ResultCode::Failed;
}

// checksumMode is written only when the terminal chose a block form ("ACK" or "FK").
ResultCode enterBasicDownloadMode(link::Link& link, int& checksumMode) {
    for (int sends = 0; sends < kCommandTries; ++sends) {
        if (send(link, command::kBasicDownload) != ResultCode::Done) {
            return ResultCode::Failed;
        }
        if (lineIs(link, reply::kAck)) {
            checksumMode = 0;
            return ResultCode::Done;
        }
        if (lineIs(link, reply::kFk)) {
            checksumMode = 1;
            return negotiateChecksumMode(link);
        }
    }
    return ResultCode::Failed;
}

// Silence counts as acceptance: only an explicit "NAK" makes the request go out again.
ResultCode negotiateChecksumMode(link::Link& link) {
    for (int sends = 0; sends < kCommandTries; ++sends) {
        if (send(link, command::kChecksumBlocks) != ResultCode::Done) {
            return ResultCode::CommunicationError;
        }
        if (!lineIs(link, reply::kNak)) {
            return ResultCode::Done;
        }
    }
    return ResultCode::CommunicationError;
}

// After "FB" the command is never repeated: the first line within 35 seconds decides, and
// the erase shown is ended on every way out of that wait.
ResultCode eraseFlash(link::Link& link, EraseIndicator& erase) {
    for (int sends = 0; sends < kCommandTries; ++sends) {
        if (send(link, command::kErase) != ResultCode::Done) {
            return ResultCode::CantEraseFlash;
        }
        if (lineIs(link, reply::kFa)) {
            return ResultCode::Done;
        }
        if (lineIs(link, reply::kFb)) {
            const bool shown = erase.showErase();
            const ResultCode read = link::readResponseLine(link, link::kEraseDeadlineSeconds);
            if (shown) {
                erase.endErase();
            }
            return read == ResultCode::Done && lineIs(link, reply::kFa)
                       ? ResultCode::Done
                       : ResultCode::CantEraseFlash;
        }
    }
    return ResultCode::CantEraseFlash;
}

}  // namespace vorlanth::protocol
