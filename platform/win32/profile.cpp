#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/system_parts.h"

namespace vorlanth::platform {

namespace {

// The system's private-profile functions.
class Win32Profile final : public Profile {
  public:
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultValue, const std::string& path,
                           std::size_t size) override {
        if (size == 0) {
            return {};
        }
        std::vector<char> buffer(size, '\0');
        const std::string sectionText(section);
        const std::string keyText(key);
        const std::string defaultText(defaultValue);
        const DWORD length =
            GetPrivateProfileStringA(sectionText.c_str(), keyText.c_str(), defaultText.c_str(),
                                     buffer.data(), static_cast<DWORD>(size), path.c_str());
        return std::string(buffer.data(), std::min<std::size_t>(length, size - 1));
    }

    bool writeString(std::string_view section, std::string_view key, std::string_view value,
                     const std::string& path) override {
        // A line break would split the entry and plant a line of its own in the file.
        for (std::string_view text : {section, key, value}) {
            if (text.find_first_of("\r\n") != std::string_view::npos) {
                return false;
            }
        }
        const std::string sectionText(section);
        const std::string keyText(key);
        const std::string valueText(value);
        return WritePrivateProfileStringA(sectionText.c_str(), keyText.c_str(), valueText.c_str(),
                                          path.c_str()) != FALSE;
    }
};

}  // namespace

std::unique_ptr<Profile> makeSystemProfile() {
    return std::make_unique<Win32Profile>();
}

}  // namespace vorlanth::platform
