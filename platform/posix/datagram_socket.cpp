#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "platform/system_parts.h"

namespace vorlanth::platform {

namespace {

// Most datagrams drained by one discardPending, so that a flooding peer cannot hold it.
constexpr int kDrainLimit = 1024;

// A BSD datagram socket, closed on destruction.
class PosixDatagramSocket final : public DatagramSocket {
  public:
    explicit PosixDatagramSocket(int fd) : fd_(fd) {}
    ~PosixDatagramSocket() override { close(fd_); }
    PosixDatagramSocket(const PosixDatagramSocket&) = delete;
    PosixDatagramSocket& operator=(const PosixDatagramSocket&) = delete;

    // Connects to address:port, the first address byte most significant.
    bool connect(std::array<std::uint8_t, 4> address, std::uint16_t port) override {
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(port);
        std::memcpy(&peer.sin_addr.s_addr, address.data(), address.size());
        return ::connect(fd_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0;
    }

    // Sends one datagram.
    std::int64_t send(std::span<const std::uint8_t> bytes) override {
        const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), 0);
        return sent < 0 ? -1 : static_cast<std::int64_t>(sent);
    }

    // Waits in poll for at most waitMs; a datagram that does not fit the buffer fails the
    // receive (its excess is lost), as does a pending error such as a refused port.
    ReceiveResult receive(std::span<std::uint8_t> buffer, std::uint32_t waitMs) override {
        pollfd waiter{fd_, POLLIN, 0};
        const int timeout =
            waitMs > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(waitMs);
        int ready = 0;
        do {
            ready = poll(&waiter, 1, timeout);
        } while (ready < 0 && errno == EINTR);
        if (ready == 0) {
            return {ReceiveStatus::TimedOut, 0};
        }
        if (ready < 0) {
            return {ReceiveStatus::Failed, 0};
        }
        iovec part{buffer.data(), buffer.size()};
        msghdr message{};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        const ssize_t count = recvmsg(fd_, &message, MSG_DONTWAIT);
        if (count < 0) {
            return {errno == EAGAIN || errno == EWOULDBLOCK ? ReceiveStatus::TimedOut
                                                            : ReceiveStatus::Failed,
                    0};
        }
        if ((message.msg_flags & MSG_TRUNC) != 0) {
            return {ReceiveStatus::Failed, 0};
        }
        return {ReceiveStatus::Received, static_cast<std::size_t>(count)};
    }

    // Reads and drops every datagram already queued, without waiting.
    void discardPending() override {
        std::uint8_t scrap[2048];
        for (int i = 0; i < kDrainLimit; ++i) {
            const ssize_t count = recv(fd_, scrap, sizeof scrap, MSG_DONTWAIT);
            // A refused earlier send shows up here once; anything else ends the drain.
            if (count < 0 && errno != ECONNREFUSED) {
                return;
            }
        }
    }

  private:
    int fd_;
};

// BSD sockets need no library start-up; start-up and clean-up only keep the pairing.
class PosixSocketLibrary final : public SocketLibrary {
  public:
    bool startup() override { return true; }
    void cleanup() override {}
    std::unique_ptr<DatagramSocket> createDatagramSocket() override {
        const int fd = socket(AF_INET, SOCK_DGRAM, 0);
        if (fd < 0) {
            return nullptr;
        }
        fcntl(fd, F_SETFD, FD_CLOEXEC);
        return std::make_unique<PosixDatagramSocket>(fd);
    }
};

}  // namespace

std::unique_ptr<SocketLibrary> makeSystemSocketLibrary() {
    return std::make_unique<PosixSocketLibrary>();
}

}  // namespace vorlanth::platform
