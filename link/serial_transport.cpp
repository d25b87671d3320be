// The serial link's transport over a serial port, and the Serial link kind: open the COM port,
// set the plain line at the chosen rate, bound writes during an upload, purge at close.
#include "link/serial_transport.h"

#include "link/link.h"

namespace vorlanth::link {

namespace {

// The Serial kind's open: the port, then the line built from baudIndex, applied once.
ResultCode openSerialLink(Link& link) {
    Result<std::unique_ptr<platform::SerialPort>> port =
        link.platform.openSerialPort(link.settings.comPort);
    if (!port) {
        link.failure = std::move(port).failure();
        return ResultCode::CantOpenComPort;
    }
    auto transport = std::make_unique<SerialTransport>(
        std::move(port).value(), comPortName(link.settings.comPort), link.platform, link.observer);
    SerialTransport& serial = *transport;
    link.state.transport = std::move(transport);
    serial.line() = serialLineFor(link.settings.baudIndex);
    serial.applyLine();
    sayRefusedLine(link, serial);
    return ResultCode::Done;
}

}  // namespace

SerialTransport::SerialTransport(std::unique_ptr<platform::SerialPort> port, std::string portName,
                                 platform::Platform& platform, WireObserver* observer)
    : Transport(platform, observer), port_(std::move(port)), portName_(std::move(portName)) {}

SerialTransport::~SerialTransport() {
    SerialTransport::close();
}

void SerialTransport::applyLine() {
    if (port_) {
        keepRefusal(port_->applyLine(line_));
    }
}

std::optional<FailureDetail> SerialTransport::takeRefusal() {
    std::optional<FailureDetail> refusal = std::move(refusal_);
    refusal_.reset();
    return refusal;
}

void SerialTransport::keepRefusal(Status setting) {
    if (!setting && !refusal_) {
        refusal_ = std::move(setting).failure();
    }
}

void SerialTransport::setWriteTimeout(const platform::WriteTimeout& timeout) {
    keepRefusal(port_->setWriteTimeout(timeout));
}

void SerialTransport::dropLateInput() {
    if (port_) {
        port_->discardInput();
    }
}

Status SerialTransport::prepareUpload() {
    if (!port_) {
        return {};
    }
    return port_->setWriteTimeout({.perByteMs = 5, .extraMs = 50});
}

void SerialTransport::close() {
    if (port_) {
        port_->purge();
        port_.reset();
    }
}

// A write cut short by its deadline is no failure: the answer that does not come shows it.
Status SerialTransport::write(std::span<const std::uint8_t> bytes) {
    if (!port_) {
        return objectFailure(portName_, "the link is not open");
    }
    Result<std::size_t> written = port_->write(bytes);
    if (!written) {
        return std::move(written).failure();
    }
    return {};
}

Result<std::span<const std::uint8_t>> SerialTransport::receive(std::uint32_t waitMs) {
    if (!port_) {
        return objectFailure(portName_, "the link is not open");
    }
    Result<std::optional<std::uint8_t>> read = port_->readByte(waitMs);
    if (!read) {
        return std::move(read).failure();
    }
    if (!read->has_value()) {
        return std::span<const std::uint8_t>();
    }
    received_ = **read;
    return std::span<const std::uint8_t>(&received_, 1);
}

platform::SerialLine plainSerialLine(std::uint32_t rate) {
    platform::SerialLine line;
    line.rate = rate;
    line.dataBits = 8;
    line.parity = platform::Parity::None;
    line.stopBits = platform::StopBits::One;
    line.flowControl = platform::FlowControl::None;
    line.dtr = true;
    line.rts = true;
    return line;
}

platform::SerialLine serialLineFor(int baudIndex) {
    platform::SerialLine line = plainSerialLine(baudRateOf(baudIndex));
    line.otherSettings = platform::OtherSettings::Cleared;
    return line;
}

void sayRefusedLine(Link& link, SerialTransport& transport) {
    if (std::optional<FailureDetail> refusal = transport.takeRefusal()) {
        sayRefusedSetting(link, *refusal);
    }
}

// Nothing about a COM port can be known before it is opened.
Status noTargetCheck(const UploadSettings& /*settings*/, platform::Platform& /*platform*/) {
    return {};
}

// The serial device a COM number opens, with links followed, so that two numbers reaching one
// device are one terminal.
Result<std::string> serialTerminalKey(const UploadSettings& settings,
                                      platform::Platform& platform) {
    return "serial " + platform.serialDeviceName(settings.comPort);
}

std::string serialTargetName(const UploadSettings& settings) {
    return comPortName(settings.comPort);
}

std::string serialTerminalName(const UploadSettings& settings, platform::Platform& platform) {
    const std::string name = serialTargetName(settings);
    const std::string device = platform.serialDeviceName(settings.comPort);
    return device == name ? name : name + " (" + device + ")";
}

// The COM port, and the rate the baud index names (0 for an index without one).
void writeSerialTargetMembers(JsonWriter& json, const UploadSettings& settings) {
    json.key("comPort").number(settings.comPort);
    json.key("baud").number(baudRateOf(settings.baudIndex));
}

const LinkKind kSerialLink = {
    .open = openSerialLink,
    .checkTarget = noTargetCheck,
    .terminalKey = serialTerminalKey,
    .targetName = serialTargetName,
    .terminalName = serialTerminalName,
    .lineName = serialTargetName,
    .jsonName = "serial",
    .writeTargetMembers = writeSerialTargetMembers,
};

}  // namespace vorlanth::link
