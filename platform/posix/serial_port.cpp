#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "common/text.h"
#include "platform/posix/stop_wait.h"
#include "platform/posix/system_error.h"
#include "platform/posix/unique_fd.h"
#include "platform/system_parts.h"

namespace vorlanth::platform {

namespace {

// A poll time-out from a wait in milliseconds.
int pollTimeout(std::uint64_t waitMs) {
    return waitMs > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<int>(waitMs);
}

// True for the errors that only mean "not now": nothing to read, no room, a signal.
bool isTransient(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

// The failure of a line that went away under a read or a write: the far end hung up (read
// gave end of file, error 0) or the device reported an error.
FailureDetail lostLine(const std::string& device, int error) {
    if (error == 0) {
        return objectFailure(device, "the line was lost (the far end hung up)");
    }
    return systemFailure(device, "the line was lost", error);
}

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

// A terminal device in raw mode, held exclusively while this object lives. On destruction
// the device gets back its settings as they were found at open and is released.
class PosixSerialPort final : public SerialPort {
  public:
    PosixSerialPort(UniqueFd fd, std::string device, const termios& found)
        : fd_(std::move(fd)), device_(std::move(device)), found_(found) {}

    ~PosixSerialPort() override {
        tcsetattr(fd_.get(), TCSANOW, &found_);
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
    // any write time-out the wait is still bounded, by kUnlimitedWriteMs. A device error or a
    // lost line fails the write at once; a stop request ends the wait for room.
    std::int64_t write(std::span<const std::uint8_t> bytes, FailureDetail* why) override {
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
            if (count < 0 && !isTransient(errno)) {
                tell(why, lostLine(device_, errno));
                return -1;
            }
            const std::uint64_t now = monotonicMs();
            if (now >= deadline) {
                break;
            }
            short revents = 0;
            const WaitOutcome outcome =
                waitForDescriptor(fd_.get(), POLLOUT, pollTimeout(deadline - now), &revents);
            if (outcome == WaitOutcome::Stopped || outcome == WaitOutcome::TimedOut) {
                break;
            }
        }
        return static_cast<std::int64_t>(done);
    }

    // Takes a byte that is there at once; otherwise waits in poll for at most waitMs and
    // takes the byte the moment it arrives. A hang-up, an error or end of file fails the read
    // at once: the line is lost. A stop request ends the wait with nothing.
    ReadStatus readByte(std::uint8_t& byte, std::uint32_t waitMs, FailureDetail* why) override {
        const std::uint64_t start = monotonicMs();
        bool hungUp = false;
        for (;;) {
            const ssize_t count = ::read(fd_.get(), &byte, 1);
            if (count == 1) {
                return ReadStatus::Byte;
            }
            if (count == 0 || (count < 0 && !isTransient(errno))) {
                tell(why, lostLine(device_, count == 0 ? 0 : errno));
                return ReadStatus::Failed;
            }
            if (hungUp) {
                // poll reported a hang-up or an error, and still nothing can be read.
                tell(why, lostLine(device_, 0));
                return ReadStatus::Failed;
            }
            const std::uint64_t elapsed = monotonicMs() - start;
            if (elapsed >= waitMs) {
                return ReadStatus::Nothing;
            }
            short revents = 0;
            switch (waitForDescriptor(fd_.get(), POLLIN, pollTimeout(waitMs - elapsed), &revents)) {
                case WaitOutcome::Ready:
                    hungUp = (revents & POLLIN) == 0;
                    break;
                case WaitOutcome::Failed:
                    tell(why, lostLine(device_, errno));
                    return ReadStatus::Failed;
                case WaitOutcome::TimedOut:
                case WaitOutcome::Stopped:
                    return ReadStatus::Nothing;
            }
        }
    }

    // Drops unsent output and unread input.
    void purge() override { tcflush(fd_.get(), TCIOFLUSH); }

    // Drops input received and not yet read.
    void discardInput() override { tcflush(fd_.get(), TCIFLUSH); }

  private:
    UniqueFd fd_;
    std::string device_;
    termios found_;
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

// What the user can do when the device may not be opened: on Linux serial devices belong to
// a group (dialout as a rule, the device's own group when it has a name) whose members may
// use them.
std::string permissionHint(const std::string& device) {
#ifdef __linux__
    std::string groupName = "dialout";
    struct stat status {};
    if (::stat(device.c_str(), &status) == 0 && status.st_gid != 0) {
        struct group entry {};
        struct group* found = nullptr;
        std::array<char, 1024> names{};
        if (getgrgid_r(status.st_gid, &entry, names.data(), names.size(), &found) == 0 &&
            found != nullptr) {
            groupName = found->gr_name;
        }
    }
    return "serial devices on Linux belong to the group " + groupName +
           "; add your user to it (sudo usermod -aG " + groupName + " $USER) and log in again";
#else
    return "ask for read and write access to " + device;
#endif
}

}  // namespace

// Opens the terminal device of a COM port exclusively: an advisory lock keeps out every
// program that locks too (root included), TIOCEXCL keeps out other openers that are not root.
// The device's settings as found are kept, to be given back at close.
std::unique_ptr<SerialPort> openSystemSerialPort(int comPort, FailureDetail* why) {
    if (comPort < 1) {
        tell(why, objectFailure(comPortName(comPort), "no such COM port"));
        return nullptr;
    }
    const std::string device = deviceFor(comPort);
    UniqueFd fd(open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        FailureDetail detail = systemFailure(device, "cannot open", errno);
        if (detail.osError == EACCES) {
            detail.hint = permissionHint(device);
        } else if (detail.osError == ENOENT) {
            detail.hint = "set VORLANTH_COM" + std::to_string(comPort) +
                          " to the device of COM port " + std::to_string(comPort) +
                          " (vorlanth-cli --list-ports shows the ports present)";
        } else if (detail.osError == EBUSY) {
            detail.hint = "another program holds the device";
        }
        tell(why, std::move(detail));
        return nullptr;
    }
    termios found{};
    if (tcgetattr(fd.get(), &found) != 0) {
        tell(why, systemFailure(device, "not a serial device", errno));
        return nullptr;
    }
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        FailureDetail detail = systemFailure(device, "in use by another program", errno);
        detail.osMessage.clear();
        tell(why, std::move(detail));
        return nullptr;
    }
    if (ioctl(fd.get(), TIOCEXCL) != 0) {
        tell(why, systemFailure(device, "cannot be held exclusively", errno));
        return nullptr;
    }
    return std::make_unique<PosixSerialPort>(std::move(fd), device, found);
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
