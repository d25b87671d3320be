// The POSIX far ends of the link tests: a UDP endpoint on 127.0.0.1 and a pseudo-terminal
// whose master side plays the terminal (or the terminal behind an infrared cradle).
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
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

namespace vorlanth::platform_tests {

namespace {

// The COM number the tests give their pseudo-terminal.
constexpr int kTestComPort = 7;

// Bytes a far end's thread received, kept for the test's thread.
class ReceivedBytes {
  public:
    void add(const char* bytes, std::size_t count) {
        const std::lock_guard<std::mutex> lock(mutex_);
        bytes_.insert(bytes_.end(), bytes, bytes + count);
    }
    Bytes take() {
        const std::lock_guard<std::mutex> lock(mutex_);
        Bytes taken;
        taken.swap(bytes_);
        return taken;
    }

  private:
    std::mutex mutex_;
    Bytes bytes_;
};

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
    Bytes takeReceived() override { return received_.take(); }

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
            received_.add(buffer, static_cast<std::size_t>(count));
            answer(std::string_view(buffer, static_cast<std::size_t>(count)),
                   [&](const std::string& bytes) {
                       sendto(fd_, bytes.data(), bytes.size(), 0,
                              reinterpret_cast<sockaddr*>(&sender), length);
                   });
        }
    }

    int fd_ = -1;
    std::uint16_t port_ = 0;
    ReceivedBytes received_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// True for the bytes an infrared cradle takes as commands at the start of a line.
bool isCradleCommand(char byte) {
    return byte == 0x07 || byte == 'Q' || (byte >= '2' && byte <= '6');
}

// A pseudo-terminal whose slave is COM port kTestComPort through VORLANTH_COM7; the master
// side answers lines ended by CR.
class PtyFarEnd final : public SerialFarEnd {
  public:
    explicit PtyFarEnd(FarEndRole role) : role_(role) {
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
    std::optional<Bytes> takeReceived() override { return received_.take(); }

    // The slave's terminal settings, read through the far end's own descriptor of it.
    std::optional<ObservedLine> observeLine() override {
        termios now{};
        if (tcgetattr(slave_, &now) != 0) {
            return std::nullopt;
        }
        ObservedLine line;
        const speed_t speed = cfgetospeed(&now);
        line.rate = speed == B115200  ? 115200
                    : speed == B57600 ? 57600
                    : speed == B38400 ? 38400
                    : speed == B19200 ? 19200
                    : speed == B9600  ? 9600
                                      : 0;
        const tcflag_t size = now.c_cflag & CSIZE;
        line.dataBits = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
        line.parity = (now.c_cflag & PARENB) != 0;
        line.twoStopBits = (now.c_cflag & CSTOPB) != 0;
        line.ctsFlow = (now.c_cflag & CRTSCTS) != 0;
        line.xonXoffOutput = (now.c_iflag & IXON) != 0;
        return line;
    }

  private:
    // Collects bytes up to a CR and answers the line; a cradle also echoes the probe byte and
    // drops its commands. Polls in 50 ms steps.
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
            received_.add(&byte, 1);
            if (role_ == FarEndRole::Cradle && line.empty() &&
                (byte == 0x0F || isCradleCommand(byte))) {
                if (byte == 0x0F) {
                    [[maybe_unused]] const ssize_t echoed = write(master_, &byte, 1);
                }
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

    FarEndRole role_;
    int master_ = -1;
    int slave_ = -1;
    ReceivedBytes received_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace

std::optional<int> openHandleCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

double processCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

std::unique_ptr<LoopbackPeer> LoopbackPeer::start() {
    return std::make_unique<PosixLoopbackPeer>();
}

std::unique_ptr<SerialFarEnd> SerialFarEnd::start(FarEndRole role) {
    return std::make_unique<PtyFarEnd>(role);
}

}  // namespace vorlanth::platform_tests
