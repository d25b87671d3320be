// Profile: reading and writing keys of the private-profile (INI) files that hold the settings
// and the environment flag, with the size limit that keeps a huge file from being read.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure_detail.h"

namespace vorlanth::platform {

// A profile file larger than this is not read: a settings file holds a few short lines, and a
// huge one would cost memory and time before any window appears.
inline constexpr std::size_t kMaxProfileFileSize = 64 * 1024;
inline constexpr std::string_view kProfileTooLarge = "larger than 64 KiB";

// A key to read and the text it gives when the file, its section or the key is missing.
struct ProfileKey {
    std::string_view name;
    std::string_view defaultValue;
};

// A key to write and its new value.
struct ProfileEntry {
    std::string_view name;
    std::string_view value;
};

// What one reading of a profile file gave.
struct ProfileReading {
    // The file was there and was read; otherwise every value is its default.
    bool fileRead = false;
    // One value for each key asked, in the order asked.
    std::vector<std::string> values;
    // Why a file that is there was not read (too large, say); empty when it is simply missing
    // or was read.
    FailureDetail problem;
};

// Private-profile (INI) files: the settings file and the environment file.
class Profile {
  public:
    virtual ~Profile() = default;
    // Reads the file at path once and gives the value of each key in section, cut to size - 1
    // characters, or the key's default (cut the same way) when the file, the section or the
    // key is missing. A file larger than kMaxProfileFileSize, or one that is not a plain file,
    // counts as missing.
    virtual ProfileReading readStrings(std::string_view section, std::span<const ProfileKey> keys,
                                       const std::string& path, std::size_t size) = 0;
    // Sets the entries, in their order, in section of the file at path, creating the file, the
    // section and the keys as needed. Returns an empty detail when every entry was written;
    // otherwise why not. Where the system allows it the change is one step (all entries or
    // none); where it writes entry by entry it stops at the first that fails.
    virtual FailureDetail writeStrings(std::string_view section,
                                       std::span<const ProfileEntry> entries,
                                       const std::string& path) = 0;
};

}  // namespace vorlanth::platform
