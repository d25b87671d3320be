// The POSIX datagram socket and sockets library: BSD sockets, waits in poll beside the stop
// request, late datagrams told apart by their arrival stamps, host names through getaddrinfo.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <utility>

#include "platform/posix/stop_wait.h"
#include "platform/posix/system_error.h"
#include "platform/posix/unique_fd.h"
#include "platform/system_parts.h"

namespace vorlanth::platform {

namespace {

// Most datagrams drained by one discardPending, or passed over as late by one receive, so that a
// flooding peer cannot hold either.
constexpr int kDrainLimit = 1024;
// A change of the wall clock against the monotonic one larger than this is taken for a step of
// the wall clock (a correction slews it by at most half a millisecond a second).
constexpr std::int64_t kClockStepNs = 1'000'000;

// Nanoseconds of a clock; clock_gettime is served without entering the kernel.
std::int64_t clockNs(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

// The wall clock less the monotonic clock: constant while nobody steps the wall clock.
std::int64_t wallClockOffsetNs() {
    const std::int64_t wall = clockNs(CLOCK_REALTIME);
    const std::int64_t monotonic = clockNs(CLOCK_MONOTONIC);
    return wall - monotonic;
}

// A BSD datagram socket, closed on destruction.
//
// Late input is dropped without a system call of its own where the kernel stamps each datagram
// with its arrival time (SO_TIMESTAMPNS): discardPending only notes the time, and receive passes
// over every datagram that arrived before it. An exchange then costs a send, a poll and one
// receive. The stamps are trusted only once one has been seen taken on arrival (the kernel may
// switch its stamping on a moment after the first socket asks for it, and a datagram without a
// stamp is stamped when it is read); until then, and whenever the wall clock was stepped,
// discardPending drains the queue at once as a system without stamps does.
class PosixDatagramSocket final : public DatagramSocket {
  public:
    explicit PosixDatagramSocket(UniqueFd fd) : fd_(std::move(fd)) {
#ifdef SO_TIMESTAMPNS
        const int on = 1;
        stamped_ = setsockopt(fd_.get(), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on) == 0;
#endif
    }

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
    // The refusal of an earlier datagram is reported by the next send instead of sending it
    // (an eager drain would have taken it); that send is made once more.
    Status send(std::span<const std::uint8_t> bytes) override {
        for (int attempt = 0;; ++attempt) {
            if (::send(fd_.get(), bytes.data(), bytes.size(), 0) >= 0) {
                return {};
            }
            if (errno != ECONNREFUSED || attempt > 0) {
                return systemFailure(peer_, "cannot send", errno);
            }
        }
    }

    // Waits in poll for at most waitMs (a stop request ends the wait); a datagram that does
    // not fit the buffer fails the receive (its excess is lost), as does a pending error such
    // as a refused port. Datagrams that arrived before the last discardPending are passed over;
    // when only such came, the receive returns nothing before its time and is asked again.
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
        for (int passed = 0; passed < kDrainLimit; ++passed) {
            const std::int64_t beforeRead = stamped_ ? clockNs(CLOCK_REALTIME) : 0;
            iovec part{buffer.data(), buffer.size()};
            alignas(cmsghdr) std::uint8_t control[CMSG_SPACE(sizeof(timespec))];
            msghdr message{};
            message.msg_iov = &part;
            message.msg_iovlen = 1;
            message.msg_control = stamped_ ? control : nullptr;
            message.msg_controllen = stamped_ ? sizeof control : 0;
            const ssize_t count = recvmsg(fd_.get(), &message, MSG_DONTWAIT);
            if (count < 0) {
                if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                    return std::optional<std::size_t>();
                }
                return systemFailure(peer_, "cannot receive", errno);
            }
            if (arrivedBeforeMark(message, beforeRead)) {
                continue;
            }
            if ((message.msg_flags & MSG_TRUNC) != 0) {
                return objectFailure(
                    peer_, "an answer longer than " + std::to_string(buffer.size()) + " bytes");
            }
            return std::optional<std::size_t>(static_cast<std::size_t>(count));
        }
        return std::optional<std::size_t>();
    }

    // With trusted stamps only the time is noted (receive passes over what came before it);
    // otherwise every datagram already queued is read and dropped now.
    void discardPending() override {
        const std::int64_t offset = wallClockOffsetNs();
        const bool steady = std::llabs(offset - markOffsetNs_) <= kClockStepNs;
        markOffsetNs_ = offset;
        if (stampsTrusted_ && steady) {
            markNs_ = clockNs(CLOCK_REALTIME);
            return;
        }
        markNs_.reset();
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
    // Whether the datagram just read arrived before the last discardPending. Its stamp, taken
    // before beforeRead (the wall clock just before the read), shows the kernel stamps on
    // arrival, and from then on the stamps are trusted. A step of the wall clock since the
    // mark makes the comparison meaningless: the datagram is then taken, as it would have been
    // had it come after a drain.
    bool arrivedBeforeMark(msghdr& message, std::int64_t beforeRead) {
        if (!stamped_) {
            return false;
        }
        std::optional<std::int64_t> arrival;
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
             header = CMSG_NXTHDR(&message, header)) {
#ifdef SO_TIMESTAMPNS
            if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_TIMESTAMPNS) {
                timespec stamp{};
                std::memcpy(&stamp, CMSG_DATA(header), sizeof stamp);
                arrival = std::int64_t{stamp.tv_sec} * 1'000'000'000 + stamp.tv_nsec;
            }
#endif
        }
        if (!arrival) {
            return false;
        }
        if (*arrival < beforeRead) {
            stampsTrusted_ = true;
        }
        if (!markNs_ || std::llabs(wallClockOffsetNs() - markOffsetNs_) > kClockStepNs) {
            return false;
        }
        return *arrival <= *markNs_;
    }

    UniqueFd fd_;
    std::string peer_;
    // Whether the kernel attaches arrival stamps, and whether they have been seen taken on
    // arrival.
    bool stamped_ = false;
    bool stampsTrusted_ = false;
    // The wall-clock time of the last discardPending that only noted the time, and the wall
    // clock's offset from the monotonic one at the last discardPending.
    std::optional<std::int64_t> markNs_;
    std::int64_t markOffsetNs_ = 0;
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
