// The POSIX datagram socket's receive against a peer on 127.0.0.1 that answers on demand: what
// was queued before discardPending is never returned, whether the socket drains at once (before
// any answer was read) or passes late datagrams over in the receive that reads the answer.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/unique_fd.h"
#include "platform/system_parts.h"

namespace vorlanth::testing {
namespace {

using platform::UniqueFd;

// A datagram endpoint on 127.0.0.1 that sends when told to: loopback delivers a datagram into
// the receiver's queue before sendto returns, so what it sent is queued when a call returns.
class ManualPeer {
  public:
    ManualPeer() : fd_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof local;
        if (bind(fd_.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0 &&
            getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&local), &length) == 0) {
            port_ = ntohs(local.sin_port);
        }
    }
    std::uint16_t port() const { return port_; }

    // Waits (at most two seconds) for the next datagram, learning who sent it; its text.
    std::string take() {
        char text[256];
        socklen_t length = sizeof from_;
        timeval limit{2, 0};
        setsockopt(fd_.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        const ssize_t count =
            recvfrom(fd_.get(), text, sizeof text, 0, reinterpret_cast<sockaddr*>(&from_), &length);
        return count < 0 ? std::string() : std::string(text, static_cast<std::size_t>(count));
    }
    // Sends text to whoever sent the last datagram taken.
    void answer(const std::string& text) {
        sendto(fd_.get(), text.data(), text.size(), 0, reinterpret_cast<const sockaddr*>(&from_),
               sizeof from_);
    }

  private:
    UniqueFd fd_;
    std::uint16_t port_ = 0;
    sockaddr_in from_{};
};

// What the next receives give: the first datagram's text, "nothing" when none came in three
// waits of 100 ms, or "failed" for a failed receive.
std::string firstAnswer(platform::DatagramSocket& socket) {
    std::vector<std::uint8_t> buffer(3);
    for (int wait = 0; wait < 3; ++wait) {
        Result<std::optional<std::size_t>> received = socket.receive(buffer, 100);
        if (!received) {
            return "failed";
        }
        if (*received) {
            return std::string(buffer.begin(),
                               buffer.begin() + static_cast<std::ptrdiff_t>(**received));
        }
    }
    return "nothing";
}

// Sends a command as an exchange does (late input dropped first) and has the peer take it.
void sendCommand(platform::DatagramSocket& socket, ManualPeer& peer, const std::string& command) {
    socket.discardPending();
    const std::vector<std::uint8_t> bytes(command.begin(), command.end());
    ASSERT_TRUE(socket.send(bytes).ok());
    ASSERT_EQ(peer.take(), command);
}

// Late and doubled answers queued before a send never pass for its answer, before the socket
// has read any answer and after; what came after the send is read in its order.
TEST(PosixDatagramSocket, InputQueuedBeforeASendIsNeverTakenForItsAnswer) {
    struct Case {
        const char* name;
        int answeredBefore;               // exchanges answered before the case's own
        std::vector<std::string> before;  // queued before the send
        std::vector<std::string> after;   // the peer's answers to the send
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"plain answer", 3, {}, {"FA\r"}, "FA\r"},
        {"late answer, first exchange", 0, {"FF\r"}, {"FA\r"}, "FA\r"},
        {"late answer", 3, {"FF\r"}, {"FA\r"}, "FA\r"},
        {"doubled answer", 3, {"FF\r", "FF\r"}, {"FA\r"}, "FA\r"},
        {"late oversized datagram is dropped, not a failure", 3, {"TOOLONG"}, {"FA\r"}, "FA\r"},
        {"only late input: no answer", 3, {"FF\r"}, {}, "nothing"},
        {"only late input, first exchange", 0, {"FF\r"}, {}, "nothing"},
        {"answers after the send come in order", 3, {"FF\r"}, {"F", "A\r"}, "F"},
        {"an oversized answer still fails", 3, {"FF\r"}, {"TOOLONG"}, "failed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ManualPeer peer;
        ASSERT_NE(peer.port(), 0);
        std::unique_ptr<platform::SocketLibrary> sockets = platform::makeSystemSocketLibrary();
        Result<std::unique_ptr<platform::DatagramSocket>> made = sockets->createDatagramSocket();
        ASSERT_TRUE(made.ok());
        platform::DatagramSocket& socket = **made;
        ASSERT_TRUE(socket.connect({127, 0, 0, 1}, peer.port()).ok());
        sendCommand(socket, peer, "HELLO");  // the peer learns where to answer
        for (int i = 0; i < c.answeredBefore; ++i) {
            sendCommand(socket, peer, "JOIN");
            peer.answer("FA\r");
            ASSERT_EQ(firstAnswer(socket), "FA\r");
        }
        for (const std::string& late : c.before) {
            peer.answer(late);
        }
        sendCommand(socket, peer, "RECORD");
        for (const std::string& answer : c.after) {
            peer.answer(answer);
        }
        EXPECT_EQ(firstAnswer(socket), c.expected);
    }
}

}  // namespace
}  // namespace vorlanth::testing
