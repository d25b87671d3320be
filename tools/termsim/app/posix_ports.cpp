#include "posix_ports.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstring>
#include <utility>

namespace vorlanth::termsim {

namespace {

// EAGAIN stands for EWOULDBLOCK too: they are one value on Linux and macOS.
constexpr size_t kReadChunk = 4096;
// poll() takes whole milliseconds: these waits are kept in its unit.
constexpr int kWriteWaitMs = 200;
constexpr int kWriteTries = 10;  // a stuck reader costs at most 2 s per answer
constexpr int kDrainStepMs = 10;
constexpr int kDrainSettleMs = 50;

std::string systemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Reads and writes on fd return at once instead of waiting.
bool setNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Writes all bytes, waiting in poll() while the other side's buffer is full.
// Returns the number of bytes that could not be written.
size_t writeAll(int fd, const uint8_t* bytes, size_t length) {
    size_t done = 0;
    int tries = 0;
    while (done < length) {
        const ssize_t written = ::write(fd, bytes + done, length - done);
        if (written > 0) {
            done += static_cast<size_t>(written);
            continue;
        }
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written < 0 && errno == EAGAIN && tries++ < kWriteTries) {
            pollfd waiting{fd, POLLOUT, 0};
            ::poll(&waiting, 1, kWriteWaitMs);
            continue;
        }
        break;
    }
    return length - done;
}

// Rate constant for a bit rate, 0 when the rate is not a standard one.
speed_t speedFor(uint32_t baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            return 0;
    }
}

// Raw 8N1 without flow control, reads returning at once.
bool makeRaw(int fd, speed_t speed) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) {
        return false;
    }
    cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~tcflag_t{CSTOPB | PARENB | CRTSCTS};
    settings.c_iflag &= ~tcflag_t{IXON | IXOFF | IXANY};
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (speed != 0) {
        cfsetispeed(&settings, speed);
        cfsetospeed(&settings, speed);
    }
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}

// A byte-stream link: the pseudo-terminal's master side or a serial device.
class StreamPort : public Port {
  public:
    StreamPort(FileDescriptor fd, std::string ready)
        : fd_(std::move(fd)), ready_(std::move(ready)) {}

    int pollDescriptor() const override { return fd_.get(); }

    // Reads until nothing is waiting: EAGAIN, or 0 from a device set to return at once.
    // EIO means the other side is gone for good.
    bool receive(TerminalModel& model, Micros nowUs) override {
        uint8_t buffer[kReadChunk];
        while (true) {
            const ssize_t got = ::read(fd_.get(), buffer, sizeof buffer);
            if (got > 0) {
                model.receiveStreamUs({buffer, static_cast<size_t>(got)}, nowUs);
                continue;
            }
            if (got < 0 && errno == EINTR) {
                continue;
            }
            return got == 0 || errno == EAGAIN;
        }
    }

    void send(const Emission& emission, SeededRandom&) override {
        dropped_ += writeAll(fd_.get(), emission.bytes.data(), emission.bytes.size());
    }

    // A serial device sends what was written before it is closed.
    void drain(Micros) override { ::tcdrain(fd_.get()); }

    std::string readyText() const override { return ready_; }

  protected:
    FileDescriptor fd_;
    std::string ready_;
};

// The master side of a pseudo-terminal; it keeps the slave open itself so the line
// survives the loader closing and reopening it between passes.
class PtyPort : public StreamPort {
  public:
    PtyPort(FileDescriptor master, FileDescriptor slave, std::string ready, std::string linkPath)
        : StreamPort(std::move(master), std::move(ready)),
          slave_(std::move(slave)),
          linkPath_(std::move(linkPath)) {}

    // Polls the slave's input queue until the loader has read it all. Bytes written
    // to the master reach that queue a moment later, so the first look waits a little.
    void drain(Micros maxWait) override {
        pollfd none{-1, 0, 0};
        ::poll(&none, 0, kDrainSettleMs);
        for (Micros waited = millisToMicros(kDrainSettleMs); waited < maxWait;
             waited += millisToMicros(kDrainStepMs)) {
            int unread = 0;
            if (::ioctl(slave_.get(), FIONREAD, &unread) != 0 || unread == 0) {
                return;
            }
            ::poll(&none, 0, kDrainStepMs);
        }
    }

    // Removes the symlink, if it is still the one made here.
    ~PtyPort() override {
        if (!linkPath_.empty()) {
            ::unlink(linkPath_.c_str());
        }
    }

  private:
    FileDescriptor slave_;
    std::string linkPath_;
};

// A UDP socket on the loopback address; answers go to whoever sent last.
class UdpPort : public Port {
  public:
    UdpPort(FileDescriptor socket, uint16_t port) : socket_(std::move(socket)), port_(port) {}

    int pollDescriptor() const override { return socket_.get(); }

    // Takes one datagram: poll reports the socket again while more are waiting, and the common
    // case (one answer's frame) then costs one read and no read that finds nothing.
    bool receive(TerminalModel& model, Micros nowUs) override {
        uint8_t buffer[65536];
        while (true) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t got = ::recvfrom(socket_.get(), buffer, sizeof buffer, 0,
                                           reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (got >= 0) {
                peer_ = from;
                hasPeer_ = true;
                model.receiveDatagramUs({buffer, static_cast<size_t>(got)}, nowUs);
                return true;
            }
            if (errno == EINTR) {
                continue;
            }
            // ECONNREFUSED can follow an answer to a loader that has gone: not fatal.
            return errno == EAGAIN || errno == ECONNREFUSED;
        }
    }

    // The loader receives into a 3-byte space, so no datagram is longer.
    void send(const Emission& emission, SeededRandom& random) override {
        if (!hasPeer_) {
            dropped_ += emission.bytes.size();
            return;
        }
        for (const auto& datagram :
             splitIntoDatagrams(emission.bytes, 3, emission.datagramFault, random)) {
            const ssize_t sent = ::sendto(socket_.get(), datagram.data(), datagram.size(), 0,
                                          reinterpret_cast<const sockaddr*>(&peer_), sizeof peer_);
            if (sent != static_cast<ssize_t>(datagram.size())) {
                dropped_ += datagram.size();
            }
        }
    }

    std::string readyText() const override { return "udp=127.0.0.1:" + std::to_string(port_); }

  private:
    FileDescriptor socket_;
    uint16_t port_;
    sockaddr_in peer_{};
    bool hasPeer_ = false;
};

}  // namespace

// Descriptors are handed out lowest first: the null device fills the first closed one.
void ensureStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        const int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

// Closes the descriptor held, then takes over the other one.
FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = other.release();
    }
    return *this;
}

// Closes the descriptor, if any.
FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

// Gives up ownership without closing.
int FileDescriptor::release() {
    return std::exchange(fd_, -1);
}

// Opens a master, unlocks its slave, sets the slave raw and keeps it open.
std::unique_ptr<Port> openPtyPort(const std::string& linkPath, std::string& error) {
    FileDescriptor master(::posix_openpt(O_RDWR | O_NOCTTY));
    if (!master.valid() || ::grantpt(master.get()) != 0 || ::unlockpt(master.get()) != 0) {
        error = systemError("cannot create a pseudo-terminal");
        return nullptr;
    }
    const char* name = ::ptsname(master.get());
    if (name == nullptr) {
        error = systemError("cannot name the pseudo-terminal");
        return nullptr;
    }
    const std::string slavePath = name;
    FileDescriptor slave(::open(slavePath.c_str(), O_RDWR | O_NOCTTY));
    if (!slave.valid() || !makeRaw(slave.get(), 0) || !setNonBlocking(master.get())) {
        error = systemError("cannot set up " + slavePath);
        return nullptr;
    }
    std::string ready = "pty=" + slavePath;
    if (!linkPath.empty()) {
        struct stat existing {};
        if (::lstat(linkPath.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) {
            ::unlink(linkPath.c_str());  // a link left by an earlier run
        }
        if (::symlink(slavePath.c_str(), linkPath.c_str()) != 0) {
            error = systemError("cannot make the link " + linkPath);
            return nullptr;
        }
        ready += " link=" + linkPath;
    }
    return std::make_unique<PtyPort>(std::move(master), std::move(slave), ready, linkPath);
}

// Opens the device without becoming its controlling process and sets it raw.
std::unique_ptr<Port> openDevicePort(const std::string& path, uint32_t baud, std::string& error) {
    FileDescriptor fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK));
    if (!fd.valid()) {
        error = systemError("cannot open " + path);
        return nullptr;
    }
    const uint32_t rate = baud == 0 ? 115200 : baud;
    const speed_t speed = speedFor(rate);
    if (speed == 0) {
        error = "no standard serial rate " + std::to_string(rate) + " for " + path;
        return nullptr;
    }
    if (!makeRaw(fd.get(), speed)) {
        error = systemError("cannot set " + path + " to raw 8N1 at " + std::to_string(rate));
        return nullptr;
    }
    return std::make_unique<StreamPort>(std::move(fd), "device=" + path);
}

// Binds to the loopback address only: the terminal is for this machine's tests.
std::unique_ptr<Port> openUdpPort(uint16_t port, std::string& error) {
    FileDescriptor socket(::socket(AF_INET, SOCK_DGRAM, 0));
    if (!socket.valid()) {
        error = systemError("cannot create a UDP socket");
        return nullptr;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = systemError("cannot listen on 127.0.0.1:" + std::to_string(port));
        return nullptr;
    }
    socklen_t length = sizeof address;
    if (::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        !setNonBlocking(socket.get())) {
        error = systemError("cannot set up the UDP socket");
        return nullptr;
    }
    return std::make_unique<UdpPort>(std::move(socket), ntohs(address.sin_port));
}

}  // namespace vorlanth::termsim
