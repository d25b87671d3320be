#include "tests/platform/link_peers.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace vorlanth::platform_tests {

namespace {

// The COM number the tests give their pseudo-terminal.
constexpr int kTestComPort = 7;

// Writes every reply with its pauses.
template <typename Send>
void answer(std::string_view command, Send send) {
    for (const Reply& reply : farEndReplies(command)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(reply.delayMs));
        send(reply.bytes);
    }
}

class PosixLoopbackPeer final : public LoopbackPeer {
  public:
    PosixLoopbackPeer() {
        fd_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in self{};
        self.sin_family = AF_INET;
        self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&self), sizeof self);
        socklen_t length = sizeof self;
        getsockname(fd_, reinterpret_cast<sockaddr*>(&self), &length);
        port_ = ntohs(self.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~PosixLoopbackPeer() override {
        stop_ = true;
        thread_.join();
        close(fd_);
    }
    std::uint16_t port() override { return port_; }

  private:
    // Answers each datagram to its sender until stopped; polls in 50 ms steps.
    void serve() {
        while (!stop_) {
            pollfd waiter{fd_, POLLIN, 0};
            if (poll(&waiter, 1, 50) <= 0) {
                continue;
            }
            char buffer[512];
            sockaddr_in sender{};
            socklen_t length = sizeof sender;
            const ssize_t count = recvfrom(fd_, buffer, sizeof buffer, 0,
                                           reinterpret_cast<sockaddr*>(&sender), &length);
            if (count < 0) {
                continue;
            }
            answer(std::string_view(buffer, static_cast<std::size_t>(count)),
                   [&](const std::string& bytes) {
                       sendto(fd_, bytes.data(), bytes.size(), 0,
                              reinterpret_cast<sockaddr*>(&sender), length);
                   });
        }
    }

    int fd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A pseudo-terminal whose slave is COM port kTestComPort through VORLANTH_COM7; the master
// side answers lines ended by CR.
class PtyFarEnd final : public SerialFarEnd {
  public:
    PtyFarEnd() {
        char name[256] = {};
        openpty(&master_, &slave_, name, nullptr, nullptr);
        termios raw{};
        tcgetattr(slave_, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave_, TCSANOW, &raw);
        setenv(("VORLANTH_COM" + std::to_string(kTestComPort)).c_str(), name, 1);
        thread_ = std::thread([this] { serve(); });
    }
    ~PtyFarEnd() override {
        stop_ = true;
        thread_.join();
        if (master_ >= 0) {
            close(master_);
        }
        close(slave_);
    }
    int comPort() override { return kTestComPort; }

  private:
    // Collects bytes up to a CR and answers the line; polls in 50 ms steps.
    void serve() {
        std::string line;
        while (!stop_) {
            pollfd waiter{master_, POLLIN, 0};
            if (poll(&waiter, 1, 50) <= 0) {
                continue;
            }
            char byte = 0;
            if (read(master_, &byte, 1) != 1) {
                continue;
            }
            line.push_back(byte);
            if (line == "HANGUP\r") {
                close(master_);
                master_ = -1;
                return;
            }
            if (byte == '\r') {
                answer(line, [&](const std::string& bytes) {
                    [[maybe_unused]] const ssize_t written =
                        write(master_, bytes.data(), bytes.size());
                });
                line.clear();
            }
        }
    }

    int master_ = -1;
    int slave_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace

double processCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

std::unique_ptr<LoopbackPeer> LoopbackPeer::start() {
    return std::make_unique<PosixLoopbackPeer>();
}

std::unique_ptr<SerialFarEnd> SerialFarEnd::start() {
    return std::make_unique<PtyFarEnd>();
}

}  // namespace vorlanth::platform_tests
