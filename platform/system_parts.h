// Factories of the system platform's parts; each OS folder implements them in the file of
// the same name (serial_port.cpp, datagram_socket.cpp, files.cpp, profile.cpp, clock.cpp).
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace vorlanth::platform {

std::unique_ptr<Clock> makeSystemClock();
Result<std::unique_ptr<SerialPort>> openSystemSerialPort(int comPort);
std::string systemSerialDeviceName(int comPort);
std::unique_ptr<SocketLibrary> makeSystemSocketLibrary();
std::unique_ptr<FileSystem> makeSystemFileSystem();
std::unique_ptr<Profile> makeSystemProfile();
std::string systemProgramPath();
char systemPathSeparator();

}  // namespace vorlanth::platform
