// Lists the serial ports of a POSIX system: /dev/serial/by-id names, UARTs that answer, and
// USB serial devices; a ttyS device with the COM number that reaches it.
#include "platform/port_list.h"

#include <dirent.h>
#include <fcntl.h>
#include <termios.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/posix/unique_fd.h"

namespace vorlanth::platform {

namespace {

// The names in directory that do not start with a dot, sorted; none when it cannot be read.
std::vector<std::string> entriesOf(const std::string& directory) {
    std::vector<std::string> names;
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(directory.c_str()), ::closedir);
    if (listing) {
        while (const dirent* entry = ::readdir(listing.get())) {
            if (entry->d_name[0] != '.') {
                names.emplace_back(entry->d_name);
            }
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A ttyS device is listed only when a UART answers behind it: it opens and takes termios.
bool deviceAnswers(const std::string& path) {
    const UniqueFd device(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    termios settings{};
    return device && ::tcgetattr(device.get(), &settings) == 0;
}

// The path with every symbolic link followed; the path as it stands when that fails.
std::string resolved(const std::string& path) {
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer) == nullptr) {
        return path;
    }
    return buffer;
}

}  // namespace

std::vector<SerialPortInfo> listSerialPorts() {
    std::vector<SerialPortInfo> ports;
    for (const std::string& name : entriesOf("/dev/serial/by-id")) {
        ports.push_back(
            {"/dev/serial/by-id/" + name, "-> " + resolved("/dev/serial/by-id/" + name), 0});
    }
    for (const std::string& name : entriesOf("/dev")) {
        const bool uart = name.rfind("ttyS", 0) == 0 && name.size() > 4;
        const bool usb = name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
        if (!uart && !usb) {
            continue;
        }
        const std::string path = "/dev/" + name;
        if (uart && !deviceAnswers(path)) {
            continue;
        }
        SerialPortInfo info{path, usb ? "USB serial" : "serial port", 0};
        if (uart) {
            const long index = std::strtol(name.c_str() + 4, nullptr, 10);
            if (index >= 0 && index < 255) {
                info.comNumber = static_cast<int>(index) + 1;
            }
        }
        ports.push_back(info);
    }
    return ports;
}

}  // namespace vorlanth::platform
