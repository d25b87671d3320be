// Fakes of the serial port and the datagram socket: far ends that record what the loader
// sends and deliver what a test scripts, on the virtual clock.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/datagram_socket.h"
#include "platform/serial_port.h"
#include "tests/fakes/virtual_clock.h"

namespace vorlanth::fakes {

using Bytes = std::vector<std::uint8_t>;
Bytes bytesOf(std::string_view text);

struct TimedWrite {
    Bytes bytes;
    std::uint32_t tick = 0;
};

// The far end of a fake serial line: what the loader wrote, what it will read, and the
// lines and write deadlines it set. A responder plays the terminal (or the cradle).
class FakeSerialLine {
  public:
    explicit FakeSerialLine(VirtualClock& lineClock) : clock(lineClock) {}

    // Queues bytes for the loader to read, arriving delayMs from now.
    void deliver(std::span<const std::uint8_t> bytes, std::uint32_t delayMs = 0);
    void deliver(std::string_view text, std::uint32_t delayMs = 0) {
        deliver(bytesOf(text), delayMs);
    }
    // Bytes written so far, all writes joined.
    Bytes written() const;

    VirtualClock& clock;
    // Called after every write with the bytes written.
    std::function<void(FakeSerialLine&, std::span<const std::uint8_t>)> responder;
    bool openFails = false;
    bool readsFail = false;   // the line is lost: every read fails at once
    bool writesFail = false;  // the line is lost: every write fails
    int openCount = 0;
    int closeCount = 0;
    int purgeCount = 0;
    int discardCount = 0;
    bool isOpen = false;
    std::vector<TimedWrite> writes;
    std::vector<platform::SerialLine> appliedLines;
    std::vector<platform::WriteTimeout> writeTimeouts;
    platform::SerialLine current;  // the line the device runs on now
    // When set, the device refuses every line with this failure (and keeps the one it had).
    std::optional<FailureDetail> refuseLines;
    int readCalls = 0;
    std::vector<std::uint32_t> readWaits;  // the wait of every read, in order

    struct Arrival {
        std::uint8_t byte;
        std::uint32_t tick;
    };
    std::deque<Arrival> input;
};

// A serial port whose far end is a FakeSerialLine.
class FakeSerialPort final : public platform::SerialPort {
  public:
    explicit FakeSerialPort(FakeSerialLine& line);
    ~FakeSerialPort() override;
    Status applyLine(const platform::SerialLine& line) override;
    Status setWriteTimeout(const platform::WriteTimeout& timeout) override;
    Result<std::size_t> write(std::span<const std::uint8_t> bytes) override;
    Result<std::optional<std::uint8_t>> readByte(std::uint32_t waitMs) override;
    void purge() override;
    void discardInput() override;

  private:
    FakeSerialLine& line_;
};

// The far end of a fake datagram link.
class FakeDatagramPeer {
  public:
    explicit FakeDatagramPeer(VirtualClock& peerClock) : clock(peerClock) {}
    void deliver(std::span<const std::uint8_t> datagram, std::uint32_t delayMs = 0);
    void deliver(std::string_view text, std::uint32_t delayMs = 0) {
        deliver(bytesOf(text), delayMs);
    }

    VirtualClock& clock;
    std::function<void(FakeDatagramPeer&, std::span<const std::uint8_t>)> responder;
    bool startupFails = false;
    bool createFails = false;
    bool connectFails = false;
    bool receivesFail = false;
    bool sendsFail = false;  // the network refuses every datagram
    // Names the fake resolver knows, and every name it was asked for.
    std::map<std::string, std::array<std::uint8_t, 4>> hostNames;
    std::vector<std::string> resolvedNames;
    int startups = 0;
    int cleanups = 0;
    int socketsOpen = 0;
    int discardCount = 0;
    std::array<std::uint8_t, 4> connectedAddress{};
    std::uint16_t connectedPort = 0;
    std::vector<TimedWrite> sent;

    struct Datagram {
        Bytes bytes;
        std::uint32_t tick;
    };
    std::deque<Datagram> input;
};

class FakeDatagramSocket final : public platform::DatagramSocket {
  public:
    explicit FakeDatagramSocket(FakeDatagramPeer& peer);
    ~FakeDatagramSocket() override;
    Status connect(platform::Ipv4Address address, std::uint16_t port) override;
    Status send(std::span<const std::uint8_t> bytes) override;
    Result<std::optional<std::size_t>> receive(std::span<std::uint8_t> buffer,
                                               std::uint32_t waitMs) override;
    void discardPending() override;

  private:
    FakeDatagramPeer& peer_;
};

class FakeSocketLibrary final : public platform::SocketLibrary {
  public:
    explicit FakeSocketLibrary(FakeDatagramPeer& peer) : peer_(peer) {}
    Status startup() override;
    void cleanup() override;
    Result<std::unique_ptr<platform::DatagramSocket>> createDatagramSocket() override;
    Result<platform::Ipv4Address> resolveHostName(const std::string& name) override;

  private:
    FakeDatagramPeer& peer_;
};

}  // namespace vorlanth::fakes
