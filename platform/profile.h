#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vorlanth::platform {

// Private-profile (INI) files: the settings file and the environment file.
class Profile {
  public:
    virtual ~Profile() = default;
    // The value of key in section of the file at path, cut to size - 1 characters, or
    // defaultValue (cut the same way) when the file, the section or the key is missing.
    virtual std::string readString(std::string_view section, std::string_view key,
                                   std::string_view defaultValue, const std::string& path,
                                   std::size_t size) = 0;
    // Sets key in section of the file at path, creating file, section and key as needed.
    virtual bool writeString(std::string_view section, std::string_view key, std::string_view value,
                             const std::string& path) = 0;
};

}  // namespace vorlanth::platform
