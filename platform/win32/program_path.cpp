// Where a Windows run keeps its settings: beside the executable; and the path separator.
#include <windows.h>

#include <array>

#include "platform/system_parts.h"

namespace vorlanth::platform {

std::string systemProgramPath() {
    std::array<char, 1000> path{};
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    return std::string(path.data(), length < path.size() ? length : 0);
}

char systemPathSeparator() {
    return '\\';
}

}  // namespace vorlanth::platform
