// The POSIX serial port: a terminal device in raw mode through termios, DTR and RTS through
// TIOCMBIS/TIOCMBIC, every wait in poll beside the stop request.
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
#include <optional>
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

// The termios speed for a rate; nothing when the device has no such speed.
std::optional<speed_t> speedFor(std::uint32_t rate) {
    for (const RateCode& entry : kRates) {
        if (entry.rate == rate) {
            return entry.code;
        }
    }
    return std::nullopt;
}

// The character-size bits for a number of data bits (8 for anything but 5, 6 and 7).
tcflag_t characterSize(std::uint8_t dataBits) {
    switch (dataBits) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

// Writes line into tio over the raw mode: rate, framing, output flow control, and the input
// flow control, parity check and XON/XOFF characters cleared unless the line keeps them as
// found.
void describeLine(const SerialLine& line, speed_t speed, termios& tio) {
    cfmakeraw(&tio);
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= characterSize(line.dataBits);
    if (line.parity == Parity::Odd) {
        tio.c_cflag |= PARENB | PARODD;
    } else if (line.parity == Parity::Even) {
        tio.c_cflag |= PARENB;
    }
    if (line.stopBits == StopBits::Two) {
        tio.c_cflag |= CSTOPB;
    }
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXANY);
    if (line.flowControl == FlowControl::RtsCts) {
        tio.c_cflag |= CRTSCTS;
    } else if (line.flowControl == FlowControl::XonXoff) {
        tio.c_iflag |= IXON;
    }
    if (line.otherSettings == OtherSettings::Cleared) {
        tio.c_iflag &= ~static_cast<tcflag_t>(IXOFF | INPCK);
        tio.c_cc[VSTART] = 0;
        tio.c_cc[VSTOP] = 0;
    }
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
}

// The parity a terminal's settings give.
Parity parityOf(const termios& tio) {
    if ((tio.c_cflag & PARENB) == 0) {
        return Parity::None;
    }
    return (tio.c_cflag & PARODD) != 0 ? Parity::Odd : Parity::Even;
}

// The output flow control a terminal's settings give.
FlowControl flowControlOf(const termios& tio) {
    if ((tio.c_cflag & CRTSCTS) != 0) {
        return FlowControl::RtsCts;
    }
    return (tio.c_iflag & IXON) != 0 ? FlowControl::XonXoff : FlowControl::None;
}

// The parts of line that the device's settings now do not show, in words ("7 data bits, even
// parity"); empty when it took them all. tcsetattr succeeds when the device took any part.
std::string partsNotTaken(const SerialLine& line, speed_t speed, const termios& now) {
    std::string parts;
    const auto add = [&parts](const std::string& part) {
        parts.append(parts.empty() ? "" : ", ").append(part);
    };
    if (cfgetospeed(&now) != speed || cfgetispeed(&now) != speed) {
        add(std::to_string(line.rate) + " bit/s");
    }
    if ((now.c_cflag & CSIZE) != characterSize(line.dataBits)) {
        add(std::to_string(line.dataBits) + " data bits");
    }
    if (parityOf(now) != line.parity) {
        add(line.parity == Parity::None  ? "no parity"
            : line.parity == Parity::Odd ? "odd parity"
                                         : "even parity");
    }
    if (((now.c_cflag & CSTOPB) != 0) != (line.stopBits == StopBits::Two)) {
        add(line.stopBits == StopBits::Two ? "two stop bits" : "one stop bit");
    }
    if (flowControlOf(now) != line.flowControl) {
        add(line.flowControl == FlowControl::None     ? "no flow control"
            : line.flowControl == FlowControl::RtsCts ? "RTS/CTS flow control"
                                                      : "XON/XOFF flow control");
    }
    return parts;
}

// Sets or clears one modem line. A device without modem lines (a pseudo-terminal, some
// adapters) refuses with ENOTTY or EINVAL, which is no failure; any other refusal is.
Status driveModemLine(int fd, int line, bool on, const std::string& device) {
    int bits = line;
    if (ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0 || errno == ENOTTY || errno == EINVAL) {
        return {};
    }
    return systemFailure(device,
                         std::string("refused to set ") + (line == TIOCM_DTR ? "DTR" : "RTS") +
                             (on ? " on" : " off"),
                         errno);
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

    // Raw mode at the line's rate and framing, then DTR and RTS. A rate the device lacks
    // refuses the whole line, leaving the device as it was; a part of the line the device
    // did not take (a pseudo-terminal keeps 8 data bits and no parity) is said, and so is a
    // modem line it refused.
    Status applyLine(const SerialLine& line) override {
        const std::optional<speed_t> speed = speedFor(line.rate);
        if (!speed) {
            return objectFailure(device_, "has no rate of " + std::to_string(line.rate) + " bit/s");
        }
        termios tio{};
        if (tcgetattr(fd_.get(), &tio) != 0) {
            return systemFailure(device_, "cannot read the line settings", errno);
        }
        describeLine(line, *speed, tio);
        if (tcsetattr(fd_.get(), TCSANOW, &tio) != 0) {
            return systemFailure(device_, "refused the line settings", errno);
        }
        Status taken;
        termios now{};
        if (tcgetattr(fd_.get(), &now) != 0) {
            taken = systemFailure(device_, "cannot read the line settings", errno);
        } else if (const std::string parts = partsNotTaken(line, *speed, now); !parts.empty()) {
            taken = objectFailure(device_, "did not take " + parts);
        }
        const Status dtr = driveModemLine(fd_.get(), TIOCM_DTR, line.dtr, device_);
        const Status rts = driveModemLine(fd_.get(), TIOCM_RTS, line.rts, device_);
        return !taken ? taken : !dtr ? dtr : rts;
    }

    // The deadline bounds every later write (write below keeps to it itself).
    Status setWriteTimeout(const WriteTimeout& timeout) override {
        writeTimeout_ = timeout;
        return {};
    }

    // Writes all bytes, waiting for room at most perByteMs × length + extraMs. Without a
    // write deadline the wait is still bounded, by kUnlimitedWriteMs. A device error or a
    // lost line fails the write at once; a stop request ends the wait for room.
    Result<std::size_t> write(std::span<const std::uint8_t> bytes) override {
        constexpr std::uint64_t kUnlimitedWriteMs = 30000;
        std::uint64_t limit = static_cast<std::uint64_t>(writeTimeout_.perByteMs) * bytes.size() +
                              writeTimeout_.extraMs;
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
                return lostLine(device_, errno);
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
        return done;
    }

    // Takes a byte that is there at once; otherwise waits in poll for at most waitMs and
    // takes the byte the moment it arrives. A hang-up, an error or end of file fails the read
    // at once: the line is lost. A stop request ends the wait with nothing.
    Result<std::optional<std::uint8_t>> readByte(std::uint32_t waitMs) override {
        const std::uint64_t start = monotonicMs();
        bool hungUp = false;
        for (;;) {
            std::uint8_t byte = 0;
            const ssize_t count = ::read(fd_.get(), &byte, 1);
            if (count == 1) {
                return std::optional<std::uint8_t>(byte);
            }
            if (count == 0 || (count < 0 && !isTransient(errno))) {
                return lostLine(device_, count == 0 ? 0 : errno);
            }
            if (hungUp) {
                // poll reported a hang-up or an error, and still nothing can be read.
                return lostLine(device_, 0);
            }
            const std::uint64_t elapsed = monotonicMs() - start;
            if (elapsed >= waitMs) {
                return std::optional<std::uint8_t>();
            }
            short revents = 0;
            switch (waitForDescriptor(fd_.get(), POLLIN, pollTimeout(waitMs - elapsed), &revents)) {
                case WaitOutcome::Ready:
                    hungUp = (revents & POLLIN) == 0;
                    break;
                case WaitOutcome::Failed:
                    return lostLine(device_, errno);
                case WaitOutcome::TimedOut:
                case WaitOutcome::Stopped:
                    return std::optional<std::uint8_t>();
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
    WriteTimeout writeTimeout_;
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
Result<std::unique_ptr<SerialPort>> openSystemSerialPort(int comPort) {
    if (comPort < 1) {
        return objectFailure(comPortName(comPort), "no such COM port");
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
        return detail;
    }
    termios found{};
    if (tcgetattr(fd.get(), &found) != 0) {
        return systemFailure(device, "not a serial device", errno);
    }
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        FailureDetail detail = systemFailure(device, "in use by another program", errno);
        detail.osMessage.clear();
        return detail;
    }
    if (ioctl(fd.get(), TIOCEXCL) != 0) {
        return systemFailure(device, "cannot be held exclusively", errno);
    }
    return std::unique_ptr<SerialPort>(
        std::make_unique<PosixSerialPort>(std::move(fd), device, found));
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
