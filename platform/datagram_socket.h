// The UDP side of the platform: an IPv4 datagram socket connected to one peer, and the sockets
// library that makes such sockets and resolves host names.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "common/result.h"

namespace vorlanth::platform {

// An IPv4 address, the first number first.
using Ipv4Address = std::array<std::uint8_t, 4>;

// "a.b.c.d:port", for messages.
inline std::string endpointText(const Ipv4Address& address, std::uint16_t port) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." +
           std::to_string(address[2]) + "." + std::to_string(address[3]) + ":" +
           std::to_string(port);
}

// An IPv4 datagram socket; closed when the object is destroyed.
class DatagramSocket {
  public:
    virtual ~DatagramSocket() = default;
    // Fixes the peer: sends go to it, and datagrams from other senders are dropped.
    virtual Status connect(Ipv4Address address, std::uint16_t port) = 0;
    // Sends the bytes as one datagram.
    virtual Status send(std::span<const std::uint8_t> bytes) = 0;
    // Receives the next datagram into buffer, waiting at most waitMs for one: its length, or
    // nothing when none came in time or a stop of the run was requested. A datagram longer
    // than the buffer fails the receive (its excess is lost), as does a pending error.
    virtual Result<std::optional<std::size_t>> receive(std::span<std::uint8_t> buffer,
                                                       std::uint32_t waitMs) = 0;
    // Drops datagrams already queued, without waiting: none that arrived before this call is
    // ever returned by a later receive. Whether they are read and dropped now or passed over
    // by the next receive is the system's choice.
    virtual void discardPending() = 0;
};

// The sockets library: every successful start-up is matched by one clean-up.
class SocketLibrary {
  public:
    virtual ~SocketLibrary() = default;
    // Starts the library, asking for version 1.1.
    virtual Status startup() = 0;
    virtual void cleanup() = 0;
    // Creates an IPv4 datagram socket.
    virtual Result<std::unique_ptr<DatagramSocket>> createDatagramSocket() = 0;
    // The first IPv4 address the system's resolver gives for a host name, waiting no longer
    // than the resolver's own time-out. Works whether or not the library has been started.
    virtual Result<Ipv4Address> resolveHostName(const std::string& name) = 0;
};

}  // namespace vorlanth::platform
