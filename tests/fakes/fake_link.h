#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
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
// settings it applied. A responder plays the terminal (or the cradle).
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
    std::vector<platform::LineSettings> appliedSettings;
    std::vector<platform::SerialTimeouts> appliedTimeouts;
    platform::LineSettings deviceSettings;  // what readLineSettings reports
    std::uint32_t queueInput = 0;
    std::uint32_t queueOutput = 0;
    int readCalls = 0;

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
    bool setQueueSizes(std::uint32_t inputBytes, std::uint32_t outputBytes) override;
    bool readLineSettings(platform::LineSettings& settings) override;
    bool applyLineSettings(const platform::LineSettings& settings) override;
    bool setTimeouts(const platform::SerialTimeouts& timeouts) override;
    std::int64_t write(std::span<const std::uint8_t> bytes, FailureDetail* why = nullptr) override;
    platform::ReadStatus readByte(std::uint8_t& byte, std::uint32_t waitMs,
                                  FailureDetail* why = nullptr) override;
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
    bool connect(std::array<std::uint8_t, 4> address, std::uint16_t port,
                 FailureDetail* why = nullptr) override;
    std::int64_t send(std::span<const std::uint8_t> bytes) override;
    platform::ReceiveResult receive(std::span<std::uint8_t> buffer, std::uint32_t waitMs,
                                    FailureDetail* why = nullptr) override;
    void discardPending() override;

  private:
    FakeDatagramPeer& peer_;
};

class FakeSocketLibrary final : public platform::SocketLibrary {
  public:
    explicit FakeSocketLibrary(FakeDatagramPeer& peer) : peer_(peer) {}
    bool startup(FailureDetail* why = nullptr) override;
    void cleanup() override;
    std::unique_ptr<platform::DatagramSocket> createDatagramSocket(
        FailureDetail* why = nullptr) override;
    std::optional<std::array<std::uint8_t, 4>> resolveHostName(
        const std::string& name, FailureDetail* why = nullptr) override;

  private:
    FakeDatagramPeer& peer_;
};

}  // namespace vorlanth::fakes
