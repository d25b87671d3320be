#include "platform/port_list.h"

#include <dirent.h>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace vorlanth::platform {

namespace {

std::vector<std::string> entriesOf(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(directory.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] != '.') {
                names.emplace_back(entry->d_name);
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A ttyS device is listed only when a UART answers behind it: it opens and takes termios.
bool deviceAnswers(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    termios settings{};
    const bool answers = ::tcgetattr(descriptor, &settings) == 0;
    ::close(descriptor);
    return answers;
}

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
