// The POSIX serial port at open and close: the device gets back its settings as found and is
// released, and a device that cannot be used says why.

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "link/serial_transport.h"
#include "platform/platform.h"
#include "tests/platform/settings_store_support.h"

namespace vorlanth::testing {
namespace {

constexpr int kComPort = 11;

// The terminal settings that matter for a comparison, field by field.
bool sameSettings(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0 &&
           cfgetispeed(&a) == cfgetispeed(&b) && cfgetospeed(&a) == cfgetospeed(&b);
}

// A pseudo-terminal in its cooked default state, its slave named by VORLANTH_COM11.
struct CookedPty {
    CookedPty() {
        char name[256] = {};
        EXPECT_EQ(openpty(&master, &watcher, name, nullptr, nullptr), 0);
        slave = name;
        setenv(("VORLANTH_COM" + std::to_string(kComPort)).c_str(), name, 1);
        tcgetattr(watcher, &found);
    }
    ~CookedPty() {
        close(watcher);
        close(master);
    }
    int master = -1;
    int watcher = -1;  // a second descriptor of the slave, to look at it from outside
    std::string slave;
    termios found{};
};

// Raw mode at 19200 bit/s while open; at close the cooked settings come back and exclusive
// mode is off, whether the port is closed after an upload or right after opening.
TEST(PosixSerialPort, CloseGivesBackTheSettingsFoundAndTheDevice) {
    for (const bool applied : {true, false}) {
        SCOPED_TRACE(applied ? "settings applied" : "closed at once");
        CookedPty pty;
        auto system = platform::makeSystemPlatform();
        {
            auto port = system->openSerialPort(kComPort);
            ASSERT_TRUE(port.ok());
            int exclusive = 0;
            ASSERT_EQ(ioctl(pty.watcher, TIOCGEXCL, &exclusive), 0);
            EXPECT_EQ(exclusive, 1);
            if (applied) {
                platform::SerialLine line;
                line.rate = 19200;
                line.dataBits = 8;
                ASSERT_TRUE(port.value()->applyLine(line).ok());
                termios now{};
                tcgetattr(pty.watcher, &now);
                EXPECT_FALSE(sameSettings(now, pty.found));
                EXPECT_EQ(cfgetospeed(&now), static_cast<speed_t>(B19200));
            }
        }
        termios after{};
        tcgetattr(pty.watcher, &after);
        EXPECT_TRUE(sameSettings(after, pty.found));
        int exclusive = 1;
        ASSERT_EQ(ioctl(pty.watcher, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0);
        EXPECT_TRUE(system->openSerialPort(kComPort)) << "the device is free again";
    }
}

// The parts of a line in words, and whether a terminal's settings show each.
std::vector<std::pair<std::string, bool>> lineParts(const platform::SerialLine& line, speed_t speed,
                                                    const termios& now) {
    using platform::FlowControl;
    using platform::Parity;
    const tcflag_t size = line.dataBits == 7   ? CS7
                          : line.dataBits == 6 ? CS6
                          : line.dataBits == 5 ? CS5
                                               : CS8;
    const bool parity = (now.c_cflag & PARENB) != 0;
    const bool odd = (now.c_cflag & PARODD) != 0;
    const bool rtsCts = (now.c_cflag & CRTSCTS) != 0;
    const bool xonXoff = (now.c_iflag & IXON) != 0;
    return {
        {std::to_string(line.rate) + " bit/s",
         cfgetospeed(&now) == speed && cfgetispeed(&now) == speed},
        {std::to_string(line.dataBits) + " data bits", (now.c_cflag & CSIZE) == size},
        {line.parity == Parity::None  ? "no parity"
         : line.parity == Parity::Odd ? "odd parity"
                                      : "even parity",
         line.parity == Parity::None ? !parity : parity && odd == (line.parity == Parity::Odd)},
        {line.stopBits == platform::StopBits::Two ? "two stop bits" : "one stop bit",
         ((now.c_cflag & CSTOPB) != 0) == (line.stopBits == platform::StopBits::Two)},
        {line.flowControl == FlowControl::None     ? "no flow control"
         : line.flowControl == FlowControl::RtsCts ? "RTS/CTS flow control"
                                                   : "XON/XOFF flow control",
         line.flowControl == FlowControl::RtsCts    ? rtsCts && !xonXoff
         : line.flowControl == FlowControl::XonXoff ? xonXoff && !rtsCts
                                                    : !rtsCts && !xonXoff},
    };
}

// Each row's line on a pseudo-terminal whose own settings have input flow control and parity
// checking on. Every part of the line the device shows afterwards was applied; every part it
// does not show (a Linux pseudo-terminal keeps 8 data bits and no parity) is named in the
// refusal. DTR and RTS, which a pseudo-terminal has not, are no failure. The device's other
// settings are cleared or kept as the line says, and a rate the device lacks changes nothing.
TEST(PosixSerialPort, AppliesWhatTheDeviceTakesAndSaysWhatItDoesNot) {
    using platform::FlowControl;
    using platform::OtherSettings;
    using platform::Parity;
    using platform::SerialLine;
    struct Row {
        const char* name;
        SerialLine line;
        speed_t speed;
        bool mustTakeAll;  // the lines the links use: never a refusal
    };
    SerialLine cradle = link::plainSerialLine(38400);
    cradle.otherSettings = OtherSettings::AsFound;
    SerialLine framed = link::plainSerialLine(9600);
    framed.dataBits = 7;
    framed.parity = Parity::Even;
    framed.stopBits = platform::StopBits::Two;
    SerialLine odd = link::plainSerialLine(57600);
    odd.parity = Parity::Odd;
    SerialLine rtsCts = link::plainSerialLine(115200);
    rtsCts.flowControl = FlowControl::RtsCts;
    SerialLine xonXoff = link::plainSerialLine(115200);
    xonXoff.flowControl = FlowControl::XonXoff;
    const std::vector<Row> rows = {
        {"the Serial link at 19200", link::serialLineFor(3), B19200, true},
        {"the cradle's line, the device's own settings kept", cradle, B38400, true},
        {"7 data bits, even parity, two stop bits", framed, B9600, false},
        {"odd parity", odd, B57600, false},
        {"RTS/CTS", rtsCts, B115200, false},
        {"XON/XOFF", xonXoff, B115200, false},
    };
    CookedPty pty;
    termios own = pty.found;
    own.c_iflag |= IXOFF | INPCK;
    own.c_cc[VSTART] = 0x11;
    auto system = platform::makeSystemPlatform();
    auto port = system->openSerialPort(kComPort);
    ASSERT_TRUE(port.ok());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(tcsetattr(pty.watcher, TCSANOW, &own), 0);
        const Status applied = port.value()->applyLine(row.line);
        termios now{};
        tcgetattr(pty.watcher, &now);
        std::vector<std::string> notTaken;
        for (const auto& [part, taken] : lineParts(row.line, row.speed, now)) {
            if (!taken) {
                notTaken.push_back(part);
            }
        }
        if (notTaken.empty()) {
            EXPECT_TRUE(applied.ok()) << describeFailure(applied.failure());
        } else {
            ASSERT_FALSE(applied.ok()) << "the device did not take " << notTaken.front();
            EXPECT_EQ(applied.failure().object, pty.slave);
            for (const std::string& part : notTaken) {
                EXPECT_NE(applied.failure().reason.find(part), std::string::npos)
                    << applied.failure().reason << " does not name " << part;
            }
        }
        EXPECT_TRUE(notTaken.empty() || !row.mustTakeAll);
        const bool kept = row.line.otherSettings == OtherSettings::AsFound;
        EXPECT_EQ((now.c_iflag & IXOFF) != 0, kept);
        EXPECT_EQ((now.c_iflag & INPCK) != 0, kept);
        EXPECT_EQ(now.c_cc[VSTART], kept ? 0x11 : 0);
        EXPECT_EQ(now.c_lflag & (ICANON | ECHO | ISIG), 0u) << "raw mode";
        EXPECT_EQ(now.c_cc[VMIN], 1);
    }

    SCOPED_TRACE("a rate the device lacks");
    ASSERT_EQ(tcsetattr(pty.watcher, TCSANOW, &own), 0);
    const Status refused = port.value()->applyLine(link::plainSerialLine(12345));
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.failure().object, pty.slave);
    EXPECT_EQ(refused.failure().reason, "has no rate of 12345 bit/s");
    termios now{};
    tcgetattr(pty.watcher, &now);
    EXPECT_TRUE(sameSettings(now, own));
}

// A device that is not there, or is no terminal, says which and why; nothing is held.
TEST(PosixSerialPort, OpenFailuresSayWhichDeviceAndWhy) {
    ScratchDirectory scratch;
    const std::string plain = scratch / "not-a-tty";
    writeBytes(plain, "x");
    struct Case {
        std::string device;
        std::string reason;
        int error;
        bool hint;
    };
    const std::vector<Case> cases = {
        {scratch / "missing", "cannot open", ENOENT, true},
        {plain, "not a serial device", ENOTTY, false},
    };
    auto system = platform::makeSystemPlatform();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device);
        setenv(("VORLANTH_COM" + std::to_string(kComPort)).c_str(), c.device.c_str(), 1);
        const auto opened = system->openSerialPort(kComPort);
        ASSERT_FALSE(opened.ok());
        const FailureDetail& why = opened.failure();
        EXPECT_EQ(why.object, c.device);
        EXPECT_EQ(why.reason, c.reason);
        EXPECT_EQ(why.osErrorKind, OsErrorKind::Errno);
        EXPECT_EQ(why.osError, c.error);
        EXPECT_FALSE(why.osMessage.empty());
        EXPECT_EQ(!why.hint.empty(), c.hint);
    }
}

}  // namespace
}  // namespace vorlanth::testing
