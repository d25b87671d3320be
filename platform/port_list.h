// The serial ports present on this system, with the COM number that reaches each, for
// --list-ports.
#pragma once

#include <string>
#include <vector>

namespace vorlanth::platform {

struct SerialPortInfo {
    std::string device;       // the device path or name
    std::string description;  // what it is (a by-id name, "USB serial", ...)
    int comNumber = 0;        // the COM number that reaches it without setting anything; 0: none
};

// The serial ports present on this system.
std::vector<SerialPortInfo> listSerialPorts();

}  // namespace vorlanth::platform
