// The serial link: a transport over a serial port wired to the terminal, the line it runs on,
// and the Serial kind's record (what the infrared cradle shares with it is here too).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "common/text.h"
#include "link/link_kind.h"
#include "link/transport.h"
#include "platform/serial_port.h"

namespace vorlanth::link {

struct Link;

// A transport over an open serial port: one write per send, one byte per read.
class SerialTransport : public Transport {
  public:
    SerialTransport(std::unique_ptr<platform::SerialPort> port, std::string portName,
                    platform::Platform& platform, WireObserver* observer);
    ~SerialTransport() override;

    // The line the port runs on; applyLine sets the port to it.
    platform::SerialLine& line() { return line_; }
    // Sets the port to line(). Whether the device takes it does not stop anything: the first
    // refusal since the open is kept for the open to say (takeRefusal).
    void applyLine();
    // The first line setting the device refused since the port was opened, once.
    std::optional<FailureDetail> takeRefusal();

    // Drops the input the port received and nobody read.
    void dropLateInput() override;
    // Every write of the attempt gives up after 5 ms a byte plus 50 ms; reads return at once.
    Status prepareUpload() override;
    // Purges both directions and closes the port.
    void close() override;

  protected:
    Status write(std::span<const std::uint8_t> bytes) override;
    Result<std::span<const std::uint8_t>> receive(std::uint32_t waitMs) override;

    // Sets the write deadline; a refusal is kept like a refused line.
    void setWriteTimeout(const platform::WriteTimeout& timeout);
    // The open port; only while the transport is not closed.
    platform::SerialPort& port() { return *port_; }
    const std::string& portName() const { return portName_; }
    // Keeps the first refusal of a setting.
    void keepRefusal(Status setting);

  private:
    std::unique_ptr<platform::SerialPort> port_;
    std::string portName_;
    platform::SerialLine line_;
    std::optional<FailureDetail> refusal_;
    std::uint8_t received_ = 0;
};

// The line both serial kinds run on: rate, 8 data bits, no parity, one stop bit, no flow
// control, DTR and RTS on.
platform::SerialLine plainSerialLine(std::uint32_t rate);
// The Serial link's line: the plain line at the rate baudIndex names (0 for an index without
// one), built from scratch: every setting of the device's own cleared.
platform::SerialLine serialLineFor(int baudIndex);

// Says the first line setting the transport's device refused, if any, to link.warnings.
void sayRefusedLine(Link& link, SerialTransport& transport);

// What the serial kinds share: a target is its COM port, the device behind it is the terminal.
Status noTargetCheck(const UploadSettings& settings, platform::Platform& platform);
Result<std::string> serialTerminalKey(const UploadSettings& settings, platform::Platform& platform);
std::string serialTargetName(const UploadSettings& settings);
std::string serialTerminalName(const UploadSettings& settings, platform::Platform& platform);
void writeSerialTargetMembers(JsonWriter& json, const UploadSettings& settings);

// The Serial link: a serial port wired to the terminal.
extern const LinkKind kSerialLink;

}  // namespace vorlanth::link
