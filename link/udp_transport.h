// The network link: UDP over IPv4 to the terminal's address and port, every send one
// datagram; the check that an address names a terminal; and the network kind's record.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "link/link_kind.h"
#include "link/transport.h"
#include "platform/datagram_socket.h"

namespace vorlanth::link {

using Ipv4Address = platform::Ipv4Address;

// A transport over a datagram socket connected to the terminal. It holds one start-up of the
// sockets library from its making to its close, with or without a socket.
class UdpTransport final : public Transport {
  public:
    // name is the target's address text, the object of its failures.
    UdpTransport(std::string name, platform::Platform& platform, WireObserver* observer);
    ~UdpTransport() override;

    // Takes the socket the link sends and receives on.
    void useSocket(std::unique_ptr<platform::DatagramSocket> socket);

    // Drops the datagrams that arrived and nobody read.
    void dropLateInput() override;
    // Closes the socket, then releases the library's start-up.
    void close() override;

  protected:
    Status write(std::span<const std::uint8_t> bytes) override;
    Result<std::span<const std::uint8_t>> receive(std::uint32_t waitMs) override;

  private:
    std::string name_;
    std::unique_ptr<platform::DatagramSocket> socket_;
    bool libraryStarted_ = true;
    // The receive space: a datagram longer than this fails the receive.
    std::array<std::uint8_t, 3> datagram_{};
};

// The terminal's IPv4 address that text names: a dotted quad as written, or a host name
// through the platform's resolver. Any other text, a name that does not resolve, and 0.0.0.0
// and 255.255.255.255 (this machine, every machine) fail, saying which. Nothing is sent to the
// address here.
Result<Ipv4Address> resolveTargetAddress(platform::SocketLibrary& sockets, std::string_view text);

// The network link: UDP to the terminal's address and port.
extern const LinkKind kUdpLink;

}  // namespace vorlanth::link
