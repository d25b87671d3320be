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
