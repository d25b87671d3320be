// The infrared cradle's set-up: probes for the rate the cradle runs at, then switches it to
// the chosen rate, with RTS off for every command; and the cradle link kind, which opens the
// COM port and runs the set-up before any traffic.
#include "link/cradle_transport.h"

#include <array>

#include "link/link.h"

namespace vorlanth::link {

namespace {

constexpr std::uint8_t kProbeByte = 0x0F;
constexpr std::uint8_t kFoundByte = 0x07;
constexpr std::uint8_t kSwitchByte = 'Q';
constexpr std::uint32_t kStartRate = 38400;
// Rates searched when no remembered rate answers, in this order.
constexpr std::array<std::uint32_t, 5> kSearchOrder = {9600, 115200, 38400, 57600, 19200};

// Settle delay after each cradle command at a given rate.
std::uint32_t settleDelayFor(std::uint32_t rate) {
    switch (rate) {
        case 115200:
            return 40;
        case 57600:
            return 50;
        case 38400:
            return 70;
        case 19200:
            return 90;
        default:
            return 170;
    }
}

// The rate digit the cradle takes for a baud index; 0 when the index has none.
std::uint8_t rateDigitFor(int baudIndex) {
    constexpr std::array<std::uint8_t, 5> digits = {'6', '5', '4', '3', '2'};
    if (baudIndex < 0 || baudIndex >= static_cast<int>(digits.size())) {
        return 0;
    }
    return digits[static_cast<std::size_t>(baudIndex)];
}

// The cradle kind's open: the port, the set-up, then the line applied once more. A set-up
// that fails leaves the port open until closeLink.
ResultCode openCradleLink(Link& link) {
    Result<std::unique_ptr<platform::SerialPort>> port =
        link.platform.openSerialPort(link.settings.comPort);
    if (!port) {
        link.failure = std::move(port).failure();
        return ResultCode::CantOpenComPort;
    }
    auto transport = std::make_unique<CradleTransport>(
        std::move(port).value(), comPortName(link.settings.comPort), link.platform, link.observer);
    CradleTransport& cradle = *transport;
    link.state.transport = std::move(transport);
    Result<CradleSetUp> configured =
        cradle.configure(link.state.cradleRate, link.settings.baudIndex);
    if (configured && *configured == CradleSetUp::Done) {
        cradle.applyLine();
    }
    sayRefusedLine(link, cradle);
    if (!configured) {
        link.failure = std::move(configured).failure();
        return ResultCode::CantConfigureIrDevice;
    }
    return *configured == CradleSetUp::Done ? ResultCode::Done : ResultCode::CantConfigureIrDevice;
}

}  // namespace

Status CradleTransport::writeCommand(std::uint8_t byte) {
    const std::array<std::uint8_t, 1> bytes = {byte};
    Result<std::size_t> written = port().write(bytes);
    if (!written) {
        return std::move(written).failure();
    }
    if (*written != 1) {
        return objectFailure(portName(),
                             "a command byte for the infrared cradle did not go out (write "
                             "time-out)");
    }
    report(WireDirection::Sent, bytes);
    return {};
}

void CradleTransport::setRts(bool on) {
    line().rts = on;
    applyLine();
}

// The first read after the settle delay decides, and reads return at once: the echo counts
// only if it arrived during the delay. An echo that came late for an earlier probe is dropped
// before the probe byte goes out.
Result<ProbeAnswer> CradleTransport::probe(std::uint32_t rate) {
    platform::Clock& clock = platform().clock();
    line().rate = rate;
    settleMs_ = settleDelayFor(rate);
    setRts(false);
    port().discardInput();
    if (Status sent = writeCommand(kProbeByte); !sent) {
        return std::move(sent).failure();
    }
    clock.sleep(settleMs_);

    Result<std::span<const std::uint8_t>> got = receive(0);
    if (!got) {
        return std::move(got).failure();
    }
    report(WireDirection::Received, *got);
    const bool echo = !got->empty() && got->front() == kProbeByte;
    setRts(true);
    clock.sleep(settleMs_);
    return echo ? ProbeAnswer::Echo : ProbeAnswer::Silence;
}

// The line keeps the device's own settings and starts at the remembered rate (38400 without
// one), writes without a deadline and reads at once. The rate digit and "Q" go out at the rate
// found, with its delay, and only when the chosen rate differs from the remembered one (the
// value from before this set-up, not the rate found).
Result<CradleSetUp> CradleTransport::configure(std::uint32_t& cradleRate, int baudIndex) {
    platform::SerialLine& line = this->line();
    line = plainSerialLine(cradleRate != 0 ? cradleRate : kStartRate);
    line.otherSettings = platform::OtherSettings::AsFound;
    setWriteTimeout({});
    applyLine();

    // The remembered rate first, then the search order; a lost line or a stop ends the search.
    Result<ProbeAnswer> answer = ProbeAnswer::Silence;
    if (cradleRate != 0) {
        answer = probe(cradleRate);
    }
    for (std::size_t i = 0; answer && *answer == ProbeAnswer::Silence && i < kSearchOrder.size();
         ++i) {
        if (platform().stopRequested() != 0) {
            return CradleSetUp::Stopped;
        }
        answer = probe(kSearchOrder[i]);
    }
    if (!answer) {
        return std::move(answer).failure();
    }
    if (*answer == ProbeAnswer::Silence) {
        return objectFailure(portName(),
                             "the infrared cradle did not answer at any rate from 9600 to 115200 "
                             "bit/s");
    }

    setRts(false);
    if (Status sent = writeCommand(kFoundByte); !sent) {
        return std::move(sent).failure();
    }
    platform().clock().sleep(settleMs_);

    const std::uint8_t digit = rateDigitFor(baudIndex);
    if (digit != 0) {
        const std::uint32_t chosenRate = baudRateOf(baudIndex);
        line.rate = chosenRate;
        if (chosenRate != cradleRate) {
            for (const std::uint8_t command : {digit, kSwitchByte}) {
                if (Status sent = writeCommand(command); !sent) {
                    return std::move(sent).failure();
                }
                platform().clock().sleep(settleMs_);
            }
            cradleRate = chosenRate;
        }
    }
    setRts(true);
    return CradleSetUp::Done;
}

const LinkKind kCradleLink = {
    .open = openCradleLink,
    .checkTarget = noTargetCheck,
    .terminalKey = serialTerminalKey,
    .targetName = serialTargetName,
    .terminalName = serialTerminalName,
    .lineName = serialTargetName,
    .jsonName = "cradle-ir",
    .writeTargetMembers = writeSerialTargetMembers,
};

}  // namespace vorlanth::link
