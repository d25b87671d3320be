// The POSIX datagram socket and sockets library: BSD sockets, waits in poll beside the stop
// request, host names through getaddrinfo.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

#include "platform/posix/stop_wait.h"
#include "platform/posix/system_error.h"
#include "platform/posix/unique_fd.h"
#include "platform/system_parts.h"

namespace vorlanth::platform {

namespace {

// Most datagrams drained by one discardPending, so that a flooding peer cannot hold it.
constexpr int kDrainLimit = 1024;

// A BSD datagram socket, closed on destruction.
class PosixDatagramSocket final : public DatagramSocket {
  public:
    explicit PosixDatagramSocket(UniqueFd fd) : fd_(std::move(fd)) {}

    // Connects to address:port, the first address byte most significant.
    Status connect(Ipv4Address address, std::uint16_t port) override {
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(port);
        std::memcpy(&peer.sin_addr.s_addr, address.data(), address.size());
        peer_ = endpointText(address, port);
        if (::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
            return systemFailure(peer_, "cannot connect", errno);
        }
        return {};
    }

    // Sends one datagram; a refusal (a full buffer, the peer's port refused before) says why.
    Status send(std::span<const std::uint8_t> bytes) override {
        if (::send(fd_.get(), bytes.data(), bytes.size(), 0) < 0) {
            return systemFailure(peer_, "cannot send", errno);
        }
        return {};
    }

    // Waits in poll for at most waitMs (a stop request ends the wait); a datagram that does
    // not fit the buffer fails the receive (its excess is lost), as does a pending error such
    // as a refused port.
    Result<std::optional<std::size_t>> receive(std::span<std::uint8_t> buffer,
                                               std::uint32_t waitMs) override {
        const int timeout =
            waitMs > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(waitMs);
        switch (waitForDescriptor(fd_.get(), POLLIN, timeout)) {
            case WaitOutcome::Ready:
                break;
            case WaitOutcome::Failed:
                return systemFailure(peer_, "cannot receive", errno);
            case WaitOutcome::TimedOut:
            case WaitOutcome::Stopped:
                return std::optional<std::size_t>();
        }
        iovec part{buffer.data(), buffer.size()};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        const ssize_t count = recvmsg(fd_.get(), &message, MSG_DONTWAIT);
        if (count < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                return std::optional<std::size_t>();
            }
            return systemFailure(peer_, "cannot receive", errno);
        }
        if ((message.msg_flags & MSG_TRUNC) != 0) {
            return objectFailure(
                peer_, "an answer longer than " + std::to_string(buffer.size()) + " bytes");
        }
        return std::optional<std::size_t>(static_cast<std::size_t>(count));
    }

    // Reads and drops every datagram already queued, without waiting.
    void discardPending() override {
        std::uint8_t scrap[2048];
        for (int i = 0; i < kDrainLimit; ++i) {
            const ssize_t count = recv(fd_.get(), scrap, sizeof scrap, MSG_DONTWAIT);
            // A refused earlier send shows up here once; anything else ends the drain.
            if (count < 0 && errno != ECONNREFUSED) {
                return;
            }
        }
    }

  private:
    UniqueFd fd_;
    std::string peer_;
};

// BSD sockets need no library start-up; start-up and clean-up only keep the pairing.
class PosixSocketLibrary final : public SocketLibrary {
  public:
    Status startup() override { return {}; }
    void cleanup() override {}
    // socket(AF_INET, SOCK_DGRAM), closed on exec.
    Result<std::unique_ptr<DatagramSocket>> createDatagramSocket() override {
        UniqueFd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
        if (!fd) {
            return systemFailure("UDP socket", "cannot create", errno);
        }
        return std::unique_ptr<DatagramSocket>(
            std::make_unique<PosixDatagramSocket>(std::move(fd)));
    }

    // getaddrinfo for IPv4 only; its own time-outs bound the wait.
    Result<Ipv4Address> resolveHostName(const std::string& name) override {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo* list = nullptr;
        const int status = getaddrinfo(name.c_str(), nullptr, &hints, &list);
        const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> found(list, freeaddrinfo);
        if (status != 0 || !found) {
            FailureDetail detail = objectFailure(
                name, "the name does not resolve to an IPv4 address", FailureKind::Address);
            if (status == EAI_SYSTEM) {
                detail = systemFailure(name, detail.reason, errno);
                detail.kind = FailureKind::Address;
            } else if (status != 0) {
                detail.osMessage = gai_strerror(status);
            }
            return detail;
        }
        Ipv4Address address{};
        const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
        std::memcpy(address.data(), &ipv4->sin_addr.s_addr, address.size());
        return address;
    }
};

}  // namespace

std::unique_ptr<SocketLibrary> makeSystemSocketLibrary() {
    return std::make_unique<PosixSocketLibrary>();
}

}  // namespace vorlanth::platform
