// Lists the COM ports of a Windows system: every COMn the DOS device namespace knows.
#include "platform/port_list.h"

#include <windows.h>

#include <array>

#include "common/text.h"

namespace vorlanth::platform {

std::vector<SerialPortInfo> listSerialPorts() {
    std::vector<SerialPortInfo> ports;
    std::array<char, 1024> target{};
    for (int number = 1; number <= 255; ++number) {
        const std::string name = comPortName(number);
        if (QueryDosDeviceA(name.c_str(), target.data(), static_cast<DWORD>(target.size())) != 0) {
            ports.push_back({name, target.data(), number});
        }
    }
    return ports;
}

}  // namespace vorlanth::platform
