// A bare UDP ping-pong on 127.0.0.1 between two processes: the client sends a datagram of
// REQUEST bytes and waits for the answer of ANSWER bytes, COUNT times; prints the exchanges
// per second. It is the floor the loader's UDP record rate is measured against: the same
// sizes and the same count, with nothing but the system calls in between.
//
//   vorlanth_bench_udp_pingpong COUNT REQUEST ANSWER

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// A socket descriptor closed when it goes out of scope.
class Socket {
  public:
    Socket() : descriptor_(::socket(AF_INET, SOCK_DGRAM, 0)) {}
    ~Socket() {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int get() const { return descriptor_; }

  private:
    int descriptor_;
};

// The loopback address with the given port (0: any free one).
sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Answers every datagram with ANSWER bytes until the client sends an empty datagram; a
// silence of 5 s ends it too, so a lost client never leaves it behind.
int serve(int descriptor, std::size_t answerSize) {
    std::vector<unsigned char> buffer(65536);
    const std::vector<unsigned char> answer(answerSize, 'A');
    for (;;) {
        pollfd waiter{descriptor, POLLIN, 0};
        if (::poll(&waiter, 1, 5000) <= 0) {
            return 1;
        }
        sockaddr_in from{};
        socklen_t fromSize = sizeof from;
        const ssize_t got = ::recvfrom(descriptor, buffer.data(), buffer.size(), 0,
                                       reinterpret_cast<sockaddr*>(&from), &fromSize);
        if (got == 0) {
            return 0;
        }
        if (got > 0) {
            ::sendto(descriptor, answer.data(), answer.size(), 0,
                     reinterpret_cast<const sockaddr*>(&from), fromSize);
        }
    }
}

// Runs COUNT exchanges against the server and prints the rate; each wait is bounded by 2 s.
int ping(std::uint16_t port, long count, std::size_t requestSize, std::size_t answerSize) {
    Socket socket;
    const sockaddr_in server = loopback(port);
    if (socket.get() < 0 ||
        ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
        std::perror("connect");
        return 1;
    }
    const std::vector<unsigned char> request(requestSize, 'R');
    std::vector<unsigned char> answer(65536);
    const auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < count; ++i) {
        if (::send(socket.get(), request.data(), request.size(), 0) < 0) {
            std::perror("send");
            return 1;
        }
        pollfd waiter{socket.get(), POLLIN, 0};
        if (::poll(&waiter, 1, 2000) <= 0 ||
            ::recv(socket.get(), answer.data(), answer.size(), 0) < 0) {
            std::fprintf(stderr, "no answer to exchange %ld\n", i);
            return 1;
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ::send(socket.get(), nullptr, 0, 0);
    std::printf("pingpong %ld exchanges of %zu/%zu bytes in %.4f s: %.0f per second\n", count,
                requestSize, answerSize, seconds, static_cast<double>(count) / seconds);
    return 0;
}

}  // namespace

// Binds the server socket, forks the server and runs the client in this process.
int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s COUNT REQUEST ANSWER\n", argv[0]);
        return 2;
    }
    const long count = std::atol(argv[1]);
    const auto requestSize = static_cast<std::size_t>(std::atol(argv[2]));
    const auto answerSize = static_cast<std::size_t>(std::atol(argv[3]));
    if (count <= 0 || requestSize == 0 || requestSize > 65000 || answerSize == 0) {
        std::fprintf(stderr, "COUNT, REQUEST and ANSWER must be positive\n");
        return 2;
    }
    Socket server;
    sockaddr_in address = loopback(0);
    socklen_t size = sizeof address;
    if (server.get() < 0 ||
        ::bind(server.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(server.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        std::perror("bind");
        return 1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        std::_Exit(serve(server.get(), answerSize));
    }
    const int status = ping(ntohs(address.sin_port), count, requestSize, answerSize);
    int childStatus = 0;
    ::waitpid(child, &childStatus, 0);
    return status;
}
