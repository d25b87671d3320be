#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "platform/system_parts.h"

namespace vorlanth::platform {

namespace {

// Milliseconds on the monotonic clock, for the bounds of waits inside this file.
std::uint64_t monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u +
           static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

// A poll time-out from a wait in milliseconds.
int pollTimeout(std::uint64_t waitMs) {
    return waitMs > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(waitMs);
}

// Sleeps for the given milliseconds, resuming after signals.
void sleepMs(std::uint32_t milliseconds) {
    timespec wait{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

// A file descriptor closed on destruction.
class UniqueFd {
  public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

struct RateCode {
    std::uint32_t rate;
    speed_t code;
};
constexpr std::array<RateCode, 8> kRates = {{{115200, B115200},
                                             {57600, B57600},
                                             {38400, B38400},
                                             {19200, B19200},
                                             {9600, B9600},
                                             {4800, B4800},
                                             {2400, B2400},
                                             {1200, B1200}}};

// The termios speed for a rate; false when the device has no such speed.
bool speedFor(std::uint32_t rate, speed_t& code) {
    for (const RateCode& entry : kRates) {
        if (entry.rate == rate) {
            code = entry.code;
            return true;
        }
    }
    return false;
}

// The rate of a termios speed; 0 for a speed outside the table.
std::uint32_t rateOf(speed_t code) {
    for (const RateCode& entry : kRates) {
        if (entry.code == code) {
            return entry.rate;
        }
    }
    return 0;
}

// Sets or clears one modem line. A pseudo-terminal has no modem lines and refuses: ignored.
void driveModemLine(int fd, int line, LineControl control) {
    int bits = line;
    ioctl(fd, control == LineControl::Disable ? TIOCMBIC : TIOCMBIS, &bits);
}

// A terminal device in raw mode, held exclusively while this object lives.
class PosixSerialPort final : public SerialPort {
  public:
    explicit PosixSerialPort(int fd) : fd_(fd) {}

    ~PosixSerialPort() override {
        ioctl(fd_.get(), TIOCNXCL);
        flock(fd_.get(), LOCK_UN);
    }
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    // The kernel sizes the terminal queues itself; the request is accepted as it stands.
    bool setQueueSizes(std::uint32_t /*inputBytes*/, std::uint32_t /*outputBytes*/) override {
        return true;
    }

    // Reports the device's framing, rate and flow control; the fields a terminal does not
    // keep (limits, error and event characters) are those last applied.
    bool readLineSettings(LineSettings& settings) override {
        termios tio{};
        if (tcgetattr(fd_.get(), &tio) != 0) {
            return false;
        }
        settings = applied_;
        settings.baudRate = rateOf(cfgetospeed(&tio));
        switch (tio.c_cflag & CSIZE) {
            case CS5:
                settings.byteSize = 5;
                break;
            case CS6:
                settings.byteSize = 6;
                break;
            case CS7:
                settings.byteSize = 7;
                break;
            default:
                settings.byteSize = 8;
                break;
        }
        settings.parity = (tio.c_cflag & PARENB) == 0   ? Parity::None
                          : (tio.c_cflag & PARODD) != 0 ? Parity::Odd
                                                        : Parity::Even;
        settings.stopBits = (tio.c_cflag & CSTOPB) != 0 ? StopBits::Two : StopBits::One;
        settings.outxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
        settings.outX = (tio.c_iflag & IXON) != 0;
        settings.inX = (tio.c_iflag & IXOFF) != 0;
        settings.parityCheck = (tio.c_iflag & INPCK) != 0;
        settings.xonChar = static_cast<char>(tio.c_cc[VSTART]);
        settings.xoffChar = static_cast<char>(tio.c_cc[VSTOP]);
        int lines = 0;
        if (ioctl(fd_.get(), TIOCMGET, &lines) == 0) {
            settings.dtrControl =
                (lines & TIOCM_DTR) != 0 ? LineControl::Enable : LineControl::Disable;
            settings.rtsControl =
                (lines & TIOCM_RTS) != 0 ? LineControl::Enable : LineControl::Disable;
        }
        return true;
    }

    // Raw mode at the record's rate and framing; a rate the device lacks refuses the whole
    // record, leaving the line as it was. DTR and RTS follow the record.
    bool applyLineSettings(const LineSettings& settings) override {
        speed_t speed = B0;
        termios tio{};
        if (!speedFor(settings.baudRate, speed) || tcgetattr(fd_.get(), &tio) != 0) {
            return false;
        }
        cfmakeraw(&tio);
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
        tio.c_cflag |= CLOCAL | CREAD;
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
        switch (settings.byteSize) {
            case 5:
                tio.c_cflag |= CS5;
                break;
            case 6:
                tio.c_cflag |= CS6;
                break;
            case 7:
                tio.c_cflag |= CS7;
                break;
            default:
                tio.c_cflag |= CS8;
                break;
        }
        if (settings.parity == Parity::Odd) {
            tio.c_cflag |= PARENB | PARODD;
        } else if (settings.parity == Parity::Even) {
            tio.c_cflag |= PARENB;
        }
        if (settings.stopBits != StopBits::One) {
            tio.c_cflag |= CSTOPB;
        }
        if (settings.outxCtsFlow) {
            tio.c_cflag |= CRTSCTS;
        }
        tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
        if (settings.outX) {
            tio.c_iflag |= IXON;
        }
        if (settings.inX) {
            tio.c_iflag |= IXOFF;
        }
        if (settings.parityCheck) {
            tio.c_iflag |= INPCK;
        }
        tio.c_cc[VSTART] = static_cast<cc_t>(settings.xonChar);
        tio.c_cc[VSTOP] = static_cast<cc_t>(settings.xoffChar);
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        if (tcsetattr(fd_.get(), TCSANOW, &tio) != 0) {
            return false;
        }
        driveModemLine(fd_.get(), TIOCM_DTR, settings.dtrControl);
        driveModemLine(fd_.get(), TIOCM_RTS, settings.rtsControl);
        applied_ = settings;
        return true;
    }

    // Keeps the policy: the write time-outs bound every later write.
    bool setTimeouts(const SerialTimeouts& timeouts) override {
        timeouts_ = timeouts;
        return true;
    }

    // Writes all bytes, waiting for room at most multiplier × length + constant ms. Without
    // any write time-out the wait is still bounded, by kUnlimitedWriteMs.
    std::int64_t write(std::span<const std::uint8_t> bytes) override {
        constexpr std::uint64_t kUnlimitedWriteMs = 30000;
        std::uint64_t limit =
            static_cast<std::uint64_t>(timeouts_.writeTotalMultiplierMs) * bytes.size() +
            timeouts_.writeTotalConstantMs;
        if (limit == 0) {
            limit = kUnlimitedWriteMs;
        }
        const std::uint64_t deadline = monotonicMs() + limit;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t count = ::write(fd_.get(), bytes.data() + done, bytes.size() - done);
            if (count > 0) {
                done += static_cast<std::size_t>(count);
                continue;
            }
            if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                return done > 0 ? static_cast<std::int64_t>(done) : -1;
            }
            const std::uint64_t now = monotonicMs();
            if (now >= deadline) {
                break;
            }
            pollfd waiter{fd_.get(), POLLOUT, 0};
            poll(&waiter, 1, pollTimeout(deadline - now));
        }
        return static_cast<std::int64_t>(done);
    }

    // Takes a byte that is there at once; otherwise waits in poll for at most waitMs and
    // takes the byte the moment it arrives. A failing device waits out waitMs before it
    // reports the failure, so that a caller that retries never spins.
    ReadStatus readByte(std::uint8_t& byte, std::uint32_t waitMs) override {
        const std::uint64_t start = monotonicMs();
        for (;;) {
            const ssize_t count = read(fd_.get(), &byte, 1);
            if (count == 1) {
                return ReadStatus::Byte;
            }
            // End of file (a hung-up line) counts as a failure, like an error.
            const bool failed = count == 0 || (count < 0 && errno != EAGAIN &&
                                               errno != EWOULDBLOCK && errno != EINTR);
            const std::uint64_t elapsed = monotonicMs() - start;
            if (elapsed >= waitMs) {
                return failed ? ReadStatus::Failed : ReadStatus::Nothing;
            }
            if (failed) {
                sleepMs(static_cast<std::uint32_t>(waitMs - elapsed));
                return ReadStatus::Failed;
            }
            pollfd waiter{fd_.get(), POLLIN, 0};
            const int ready = poll(&waiter, 1, pollTimeout(waitMs - elapsed));
            if (ready == 0) {
                return ReadStatus::Nothing;
            }
            if (ready > 0 && (waiter.revents & POLLIN) == 0) {
                // Hang-up or error without data: the next read reports it.
                const ssize_t again = read(fd_.get(), &byte, 1);
                if (again == 1) {
                    return ReadStatus::Byte;
                }
                const std::uint64_t spent = monotonicMs() - start;
                if (spent < waitMs) {
                    sleepMs(static_cast<std::uint32_t>(waitMs - spent));
                }
                return ReadStatus::Failed;
            }
        }
    }

    // Drops unsent output and unread input.
    void purge() override { tcflush(fd_.get(), TCIOFLUSH); }

    // Drops input received and not yet read.
    void discardInput() override { tcflush(fd_.get(), TCIFLUSH); }

  private:
    UniqueFd fd_;
    SerialTimeouts timeouts_;
    LineSettings applied_;
};

// The device of COM port n: $VORLANTH_COM<n> when set, else /dev/ttyS<n-1>.
std::string deviceFor(int comPort) {
    const std::string variable = "VORLANTH_COM" + std::to_string(comPort);
    const char* named = std::getenv(variable.c_str());
    if (named != nullptr && *named != '\0') {
        return named;
    }
    return "/dev/ttyS" + std::to_string(comPort - 1);
}

}  // namespace

// Opens the terminal device of a COM port exclusively: an advisory lock keeps out every
// program that locks too (root included), TIOCEXCL keeps out other openers that are not root.
std::unique_ptr<SerialPort> openSystemSerialPort(int comPort) {
    if (comPort < 1) {
        return nullptr;
    }
    const std::string device = deviceFor(comPort);
    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        close(fd);
        return nullptr;
    }
    return std::make_unique<PosixSerialPort>(fd);
}

}  // namespace vorlanth::platform

namespace vorlanth::platform {

// The device that deviceFor names, with every symbolic link followed (a virtual terminal's
// link, /dev/serial/by-id/...); the name as it stands when it cannot be resolved.
std::string systemSerialDeviceName(int comPort) {
    const std::string device = deviceFor(comPort);
    char resolved[PATH_MAX];
    return realpath(device.c_str(), resolved) != nullptr ? std::string(resolved) : device;
}

}  // namespace vorlanth::platform
