#include "platform/system_parts.h"

namespace vorlanth::platform {

// Not built yet: no serial port can be opened.
std::unique_ptr<SerialPort> openSystemSerialPort(int /*comPort*/) {
    return nullptr;
}

}  // namespace vorlanth::platform
