#include <array>
#include <string>

#include "common/text.h"
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
        case 9600:
            return 170;
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

// Writes one command byte to the cradle and reports it; false, with why, when the device
// failed, the line was lost or the byte did not go out before the write time-out.
bool writeCommand(Link& link, std::uint8_t byte) {
    const std::array<std::uint8_t, 1> bytes = {byte};
    const std::int64_t written = link.state.portHandle->write(bytes, link.failure);
    if (written != 1) {
        if (written == 0) {
            noteFailure(link, objectFailure(comPortName(link.settings.comPort),
                                            "a command byte for the infrared cradle did not go "
                                            "out (write time-out)"));
        }
        return false;
    }
    reportWireChunk(link, WireDirection::Sent, bytes);
    return true;
}

// Drives RTS through the line settings: off addresses the cradle, on the terminal.
void setRts(Link& link, platform::LineControl control) {
    link.state.lineSettings.rtsControl = control;
    link.state.portHandle->applyLineSettings(link.state.lineSettings);
}

}  // namespace

// Sends 0x0F at rate with RTS off and takes the first read after the settle delay as the
// answer; a write that fails or a read that finds the line lost ends the probe with -1.
int probeCradleRate(Link& link, std::uint32_t rate) {
    if (!link.state.portHandle) {
        return 0;
    }
    platform::Clock& clock = link.clock();
    link.state.lineSettings.baudRate = rate;
    link.state.cradleDelayMs = settleDelayFor(rate);
    setRts(link, platform::LineControl::Disable);
    // An echo that came late for an earlier probe must not answer this one.
    link.state.portHandle->discardInput();
    if (!writeCommand(link, kProbeByte)) {
        return -1;
    }
    clock.sleep(link.state.cradleDelayMs);

    // Reads return at once: the first read decides, so the echo counts only if it arrived
    // during the settle delay.
    std::uint8_t byte = 0;
    const platform::ReadStatus status = link.state.portHandle->readByte(byte, 0, link.failure);
    if (status == platform::ReadStatus::Failed) {
        return -1;
    }
    if (status == platform::ReadStatus::Byte) {
        reportWireChunk(link, WireDirection::Received, std::span<const std::uint8_t>(&byte, 1));
    }
    const bool answered = status == platform::ReadStatus::Byte && byte == kProbeByte;
    setRts(link, platform::LineControl::Enable);
    clock.sleep(link.state.cradleDelayMs);
    return answered ? 1 : 0;
}

// Finds the cradle (the remembered rate first, then the search order), sends 0x07, switches it
// to the chosen rate when that differs from the remembered one, and ends with RTS on.
int configureCradle(Link& link) {
    if (!link.state.portHandle) {
        return 0;
    }
    platform::SerialPort& port = *link.state.portHandle;
    platform::LineSettings& line = link.state.lineSettings;
    port.readLineSettings(line);

    platform::SerialTimeouts timeouts;
    timeouts.readIntervalMs = 0xFFFFFFFFu;
    port.setTimeouts(timeouts);

    setPlainSerialLine(line);
    line.baudRate = link.state.cradleRate != 0 ? link.state.cradleRate : kStartRate;
    port.applyLineSettings(line);

    // The remembered rate first, then the search order; a lost line or a stop ends the search.
    int probe = link.state.cradleRate != 0 ? probeCradleRate(link, link.state.cradleRate) : 0;
    for (std::size_t i = 0; probe == 0 && i < kSearchOrder.size(); ++i) {
        if (link.platform.stopRequested() != 0) {
            return 0;
        }
        probe = probeCradleRate(link, kSearchOrder[i]);
    }
    if (probe != 1) {
        if (probe == 0) {
            noteFailure(link, objectFailure(comPortName(link.settings.comPort),
                                            "the infrared cradle did not answer at any rate from "
                                            "9600 to 115200 bit/s"));
        }
        return 0;
    }

    setRts(link, platform::LineControl::Disable);
    if (!writeCommand(link, kFoundByte)) {
        return 0;
    }
    link.clock().sleep(link.state.cradleDelayMs);

    const std::uint8_t digit = rateDigitFor(link.settings.baudIndex);
    if (digit != 0) {
        const std::uint32_t chosenRate =
            kBaudRates[static_cast<std::size_t>(link.settings.baudIndex)];
        line.baudRate = chosenRate;
        if (chosenRate != link.state.cradleRate) {
            // Still at the rate found, with its delay.
            if (!writeCommand(link, digit)) {
                return 0;
            }
            link.clock().sleep(link.state.cradleDelayMs);
            if (!writeCommand(link, kSwitchByte)) {
                return 0;
            }
            link.clock().sleep(link.state.cradleDelayMs);
            link.state.cradleRate = chosenRate;
        }
    }
    setRts(link, platform::LineControl::Enable);
    return 1;
}

}  // namespace vorlanth::link
