#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "common/failure_detail.h"

namespace vorlanth::platform {

enum class ReceiveStatus { Received, TimedOut, Failed };

// "a.b.c.d:port", for messages.
inline std::string endpointText(const std::array<std::uint8_t, 4>& address, std::uint16_t port) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
           std::to_string(address[2]) + "." + std::to_string(address[3]) + ":" +
           std::to_string(port);
}

struct ReceiveResult {
    ReceiveStatus status = ReceiveStatus::Failed;
    std::size_t count = 0;
};

// An IPv4 datagram socket; closed when the object is destroyed.
class DatagramSocket {
  public:
    virtual ~DatagramSocket() = default;
    // Fixes the peer: sends go to it, and datagrams from other senders are dropped.
    virtual bool connect(std::array<std::uint8_t, 4> address, std::uint16_t port,
                         FailureDetail* why = nullptr) = 0;
    // Sends the bytes as one datagram; returns the count sent, or -1 on failure.
    virtual std::int64_t send(std::span<const std::uint8_t> bytes) = 0;
    // Receives the next datagram into buffer, waiting at most waitMs for one (less, with
    // TimedOut, when a stop of the run is requested). A datagram longer than the buffer fails
    // the receive; its excess is lost. why says why a receive failed.
    virtual ReceiveResult receive(std::span<std::uint8_t> buffer, std::uint32_t waitMs,
                                  FailureDetail* why = nullptr) = 0;
    // Drops datagrams already queued, without waiting.
    virtual void discardPending() = 0;
};

// The sockets library: every successful start-up is matched by one clean-up.
class SocketLibrary {
  public:
    virtual ~SocketLibrary() = default;
    // Starts the library, asking for version 1.1.
    virtual bool startup(FailureDetail* why = nullptr) = 0;
    virtual void cleanup() = 0;
    // Creates an IPv4 datagram socket; nullptr on failure.
    virtual std::unique_ptr<DatagramSocket> createDatagramSocket(FailureDetail* why = nullptr) = 0;
    // The first IPv4 address the system's resolver gives for a host name, waiting no longer
    // than the resolver's own time-out; nothing when the name does not resolve. Works whether
    // or not the library has been started.
    virtual std::optional<std::array<std::uint8_t, 4>> resolveHostName(
        const std::string& name, FailureDetail* why = nullptr) = 0;
};

}  // namespace vorlanth::platform
