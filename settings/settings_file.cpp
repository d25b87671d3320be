// Loads and saves the user's choices in the settings file (Vorlanth.ini), reads the
// always-on-top flag from the environment file, and warns when either cannot be used.
#include "settings/settings_file.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/decimal.h"

namespace vorlanth::settings {

namespace {

constexpr std::size_t kProgramPathArea = 1000;  // the program's full path
constexpr std::size_t kEnvironmentPathArea = 504;
constexpr std::size_t kValueArea = 500;  // a value read from a profile file
constexpr std::size_t kPathArea = 255;   // programDirectory and settingsPath

// Position of the last separator at or before position from, looking only at positions after
// the first character; npos when there is none.
std::size_t lastSeparatorAfterFirst(std::string_view text, std::size_t from, char separator) {
    for (std::size_t i = from; i >= 1 && i < text.size(); --i) {
        if (text[i] == separator) {
            return i;
        }
    }
    return std::string_view::npos;
}

// The program's directory up to and including its last separator, however long it is.
std::string fullProgramDirectory(SettingsRecord& record) {
    const std::string path = record.platform.programPath();
    const std::size_t separator = path.rfind(record.platform.pathSeparator());
    return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

// Why the settings file cannot be used when its path does not fit.
FailureDetail pathTooLong(SettingsRecord& record) {
    return objectFailure(fullProgramDirectory(record) + std::string(kSettingsFileName),
                         "path longer than " + std::to_string(kPathArea) + " characters");
}

// Without a folder for the program there is nowhere to keep settings: the run says so once
// ("settings not saved: no home folder") and then reads and writes none.
bool noHomeFolder(SettingsRecord& record) {
    if (!record.platform.programPath().empty()) {
        return false;
    }
    if (!record.noHomeFolderSaid) {
        record.noHomeFolderSaid = true;
        record.warnings.warn("settings not saved", objectFailure("", "no home folder"));
    }
    return true;
}

// Reads the keys of section from the file at path in one reading. A file that is there but is
// not read (too large) is said with summary, and its keys take their defaults like those of a
// missing file.
platform::ProfileReading readKeys(SettingsRecord& record, std::string_view summary,
                                  std::string_view section,
                                  std::span<const platform::ProfileKey> keys,
                                  const std::string& path) {
    platform::ProfileReading reading =
        record.platform.profile().readStrings(section, keys, path, kValueArea);
    if (!reading.problem.empty()) {
        record.warnings.warn(summary, reading.problem);
    }
    return reading;
}

// The stored number less shift when that is one of count choices (0 to count - 1), else
// nothing. The subtraction is done in 64 bits: the stored number may be the lowest 32-bit one.
std::optional<int> storedChoice(std::string_view text, int shift, int count) {
    const std::int64_t value = std::int64_t{leadingDecimal(text)} - shift;
    if (value < 0 || value >= count) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

}  // namespace

// The environment file is "Kestmor.ini" in the parent of the program's directory. A directory
// whose parent would be the path's first character (a drive root such as "C:\", or "/x/")
// holds the file itself. Without any directory in the program's path nothing is read.
void readEnvironmentFlag(SettingsRecord& record) {
    record.settings.alwaysOnTop = 0;
    const char separator = record.platform.pathSeparator();
    std::string path = record.platform.programPath();
    if (path.size() >= kProgramPathArea) {
        return;  // a cut path would name another directory
    }
    const std::size_t end =
        lastSeparatorAfterFirst(path, path.empty() ? 0 : path.size() - 1, separator);
    if (end == std::string::npos) {
        return;
    }
    path.resize(end + 1);
    const std::size_t parent = lastSeparatorAfterFirst(path, end - 1, separator);
    if (parent != std::string::npos) {
        path.resize(parent + 1);
    }
    path += kEnvironmentFileName;
    if (path.size() >= kEnvironmentPathArea) {
        return;
    }
    const platform::ProfileKey keys[] = {{"AlwaysOnTop", "0"}};
    const platform::ProfileReading reading =
        readKeys(record, "environment file not read", kEnvironmentSection, keys, path);
    record.settings.alwaysOnTop = leadingDecimal(reading.values[0]);
}

// programDirectory is the program's path up to and including its last separator; both texts
// stay empty when they would not fit in their 255 characters, so that nothing is ever read
// from or written to a cut path.
bool computeProgramPaths(SettingsRecord& record) {
    record.programDirectory.clear();
    record.settingsPath.clear();
    const std::string directory = fullProgramDirectory(record);
    if (directory.empty() || !record.programDirectory.assign(directory) ||
        !record.settingsPath.assign(directory + std::string(kSettingsFileName))) {
        record.programDirectory.clear();
        record.settingsPath.clear();
        return false;
    }
    return true;
}

// The file is read once, for all keys. Values outside their enumerations are replaced by the
// presets here, so that no other part of the system ever meets them; a Serial "ComPort" is
// kept as stored (the dialog brings it into 1..255).
void loadSettings(SettingsRecord& record) {
    UploadSettings& settings = record.settings;
    presetUploadSettings(settings);
    if (noHomeFolder(record)) {
        return;
    }
    if (!computeProgramPaths(record)) {
        record.warnings.warn("settings not read", pathTooLong(record));
        return;
    }
    const std::string path = record.settingsPath.str();
    // "Baudrate" is asked twice: a Network port defaults to 3000, while for a serial link only
    // a present key counts (an empty default stands for a missing key, as with "ComType").
    enum { kFileName, kComType, kFileType, kComPort, kPort, kBaudrate };
    const platform::ProfileKey keys[] = {{"FileName", ""}, {"ComType", ""},      {"FileType", "0"},
                                         {"ComPort", "1"}, {"Baudrate", "3000"}, {"Baudrate", ""}};
    const platform::ProfileReading reading =
        readKeys(record, "settings not read", kSettingsSection, keys, path);
    // The file must also open without sharing: one that another program holds open is not
    // used. A file that is missing, or is not a plain file, is never opened here.
    if (!reading.fileRead || !record.platform.files().openForReading(path)) {
        return;  // the presets stand
    }
    const std::vector<std::string>& values = reading.values;

    settings.programPath.assignCut(values[kFileName]);
    if (!values[kComType].empty()) {
        settings.linkType = storedChoice(values[kComType], 1, kLinkTypeCount).value_or(Serial);
    }
    settings.fileType = storedChoice(values[kFileType], 0, kFileTypeCount).value_or(SRecord);

    if (settings.linkType == Network) {
        settings.targetAddress.assignCut(values[kComPort]);
        const std::int32_t port = leadingDecimal(values[kPort]);
        settings.targetPort = static_cast<std::uint16_t>(std::clamp(port, 1, 65535));
        return;
    }
    settings.comPort = leadingDecimal(values[kComPort]);
    if (!values[kBaudrate].empty()) {
        settings.baudIndex =
            storedChoice(values[kBaudrate], 1, static_cast<int>(kBaudRates.size())).value_or(0);
    }
}

// One save is one change of the file. Stores that write key by key (the Windows functions)
// stop at the first key that fails, so the program path is cleared first and written last: a
// save that stops midway leaves no program to upload over a link it half describes. A store
// that replaces the file at once gets the same text either way, with the keys in the order
// FileName, ComPort, ComType, FileType, Baudrate in a new file. ComPort and Baudrate hold the
// address and port for a Network link.
bool saveSettings(SettingsRecord& record) {
    const UploadSettings& settings = record.settings;
    if (record.settingsPath.empty()) {
        if (!noHomeFolder(record)) {
            record.warnings.warn("settings not saved", pathTooLong(record));
        }
        return false;
    }
    const bool network = settings.linkType >= Network;
    const std::string comPort =
        network ? settings.targetAddress.str() : std::to_string(settings.comPort);
    const std::string comType = std::to_string(settings.linkType + 1LL);
    const std::string fileType = std::to_string(settings.fileType);
    const std::string baudrate =
        std::to_string(network ? settings.targetPort : settings.baudIndex + 1LL);
    std::vector<platform::ProfileEntry> entries = {
        {"FileName", ""},       {"ComPort", comPort},   {"ComType", comType},
        {"FileType", fileType}, {"Baudrate", baudrate},
    };
    if (!settings.programPath.empty()) {
        entries.push_back({"FileName", settings.programPath.view()});
    }
    FailureDetail problem = record.platform.profile().writeStrings(kSettingsSection, entries,
                                                                   record.settingsPath.str());
    if (!problem.empty()) {
        problem.object = record.settingsPath.str();
        record.warnings.warn("settings not saved", problem);
        return false;
    }
    return true;
}

}  // namespace vorlanth::settings
