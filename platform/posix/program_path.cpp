// Where a POSIX run keeps its settings: the program's "path" inside $XDG_CONFIG_HOME/vorlanth,
// and the path separator.
#include <cstdlib>

#include "platform/system_parts.h"

namespace vorlanth::platform {

// The settings directory plays the part of the program's directory: $XDG_CONFIG_HOME/vorlanth/
// (default ~/.config/vorlanth/). The program "file" named here lies in it. Only an absolute
// folder counts; with neither (a system service started without HOME) nothing is named, so
// that no settings are kept anywhere, least of all in a ".config" at the file system's root.
std::string systemProgramPath() {
    std::string directory;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    if (config != nullptr && config[0] == '/') {
        directory = config;
    } else if (home != nullptr && home[0] == '/') {
        directory = std::string(home) + "/.config";
    } else {
        return {};
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
