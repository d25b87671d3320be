// Everything the core asks of the operating system, gathered behind one interface.
#pragma once

#include <memory>
#include <string>

#include "common/text.h"
#include "platform/clock.h"
#include "platform/datagram_socket.h"
#include "platform/digest.h"
#include "platform/files.h"
#include "platform/profile.h"
#include "platform/serial_port.h"

namespace vorlanth::platform {

// Everything the core asks of the operating system, in one place.
class Platform {
  public:
    virtual ~Platform() = default;
    virtual Clock& clock() = 0;
    // Opens COM port comPort for reading and writing, exclusively; a failure names the device
    // and the cause.
    virtual Result<std::unique_ptr<SerialPort>> openSerialPort(int comPort) = 0;
    // The device COM port comPort opens, named as the system names it once links are followed,
    // so that two COM numbers reaching one device give the same text ("COM<n>" by default).
    virtual std::string serialDeviceName(int comPort) { return comPortName(comPort); }
    virtual SocketLibrary& sockets() = 0;
    virtual FileSystem& files() = 0;
    virtual Profile& profile() = 0;
    // Full path of the running program's file. On POSIX systems the program "lives" in its
    // settings directory, so that the settings and environment files are found beside it;
    // empty when no such directory can be named (no home folder).
    virtual std::string programPath() = 0;
    // The separator of directories in paths: '\\' on Windows, '/' elsewhere.
    virtual char pathSeparator() = 0;
    // The signal number (SIGINT 2, SIGTERM 15, SIGHUP 1) by which the user asked the run to
    // stop, or 0. Once set it stays set; every wait of the platform returns early after it.
    virtual int stopRequested() { return 0; }
    // Starts a SHA-256 digest with the system's own implementation; never null (a failure is
    // told by its finish).
    virtual std::unique_ptr<Sha256> startSha256() = 0;
};

// The implementation for the system the program was built for.
std::unique_ptr<Platform> makeSystemPlatform();

}  // namespace vorlanth::platform
