#include <cstdlib>

#include "platform/system_parts.h"

namespace vorlanth::platform {

// The settings directory plays the part of the program's directory: $XDG_CONFIG_HOME/vorlanth/
// (default ~/.config/vorlanth/). The program "file" named here lies in it.
std::string systemProgramPath() {
    std::string directory;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        directory = config;
    } else {
        const char* home = std::getenv("HOME");
        directory = std::string(home != nullptr ? home : "") + "/.config";
    }
    while (directory.size() > 1 && directory.back() == '/') {
        directory.pop_back();
    }
    return directory + "/vorlanth/vorlanth";
}

char systemPathSeparator() {
    return '/';
}

}  // namespace vorlanth::platform
