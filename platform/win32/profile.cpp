// The Win32 settings store: the system's private-profile functions, behind the same size limit
// as on POSIX.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/system_parts.h"
#include "platform/win32/system_error.h"

namespace vorlanth::platform {

namespace {

// The system's private-profile functions, which every Windows program that shares the file
// uses too.
class Win32Profile final : public Profile {
  public:
    // The file's size is looked at first: a file over the limit, or a directory, is not read.
    ProfileReading readStrings(std::string_view section, std::span<const ProfileKey> keys,
                               const std::string& path, std::size_t size) override {
        ProfileReading reading;
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
            (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            const std::uint64_t fileSize =
                (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            if (fileSize > kMaxProfileFileSize) {
                reading.problem = objectFailure(path, std::string(kProfileTooLarge));
            } else {
                reading.fileRead = true;
            }
        }
        const std::string sectionText(section);
        std::vector<char> buffer(std::max<std::size_t>(size, 1), '\0');
        for (const ProfileKey& key : keys) {
            const std::string defaultText(key.defaultValue);
            if (!reading.fileRead || size == 0) {
                reading.values.push_back(defaultText.substr(0, size > 0 ? size - 1 : 0));
                continue;
            }
            const std::string keyText(key.name);
            const DWORD length =
                GetPrivateProfileStringA(sectionText.c_str(), keyText.c_str(), defaultText.c_str(),
                                         buffer.data(), static_cast<DWORD>(size), path.c_str());
            reading.values.emplace_back(buffer.data(), std::min<std::size_t>(length, size - 1));
        }
        return reading;
    }

    // The functions write one key at a time, each rewriting the file: the entries go in their
    // order and the first that fails ends the save, so the caller's order decides what a
    // failure midway leaves.
    FailureDetail writeStrings(std::string_view section, std::span<const ProfileEntry> entries,
                               const std::string& path) override {
        // A line break would split the entry and plant a line of its own in the file.
        for (const ProfileEntry& entry : entries) {
            for (std::string_view text : {section, entry.name, entry.value}) {
                if (text.find_first_of("\r\n") != std::string_view::npos) {
                    return objectFailure(
                        path, std::string("\"")
                                  .append(entry.name)
                                  .append("\" cannot be stored in the file (a line break?)"));
                }
            }
        }
        const std::string sectionText(section);
        for (const ProfileEntry& entry : entries) {
            const std::string keyText(entry.name);
            const std::string valueText(entry.value);
            if (!WritePrivateProfileStringA(sectionText.c_str(), keyText.c_str(), valueText.c_str(),
                                            path.c_str())) {
                const DWORD error = GetLastError();
                return systemFailure(
                    path, std::string("could not write \"").append(keyText).append("\""), error);
            }
        }
        return {};
    }
};

}  // namespace

std::unique_ptr<Profile> makeSystemProfile() {
    return std::make_unique<Win32Profile>();
}

}  // namespace vorlanth::platform
