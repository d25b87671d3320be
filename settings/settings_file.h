// The settings file and the environment file: SettingsRecord, the part of a run they read and
// write, and loading, saving and the program's paths.
#pragma once

#include <string_view>

#include "common/failure_detail.h"
#include "common/fixed_text.h"
#include "common/types.h"
#include "common/warning_sink.h"
#include "platform/platform.h"

namespace vorlanth::settings {

// Where the settings file's warnings go (the settings not saved, say).
using WarningSink = vorlanth::WarningSink;

// The part of a run's session record the settings file reads and writes: the user's choices,
// the paths computed from the program's place, the platform they are read through, and where
// warnings go.
struct SettingsRecord {
    SettingsRecord(platform::Platform& platformRef, WarningSink& warningsRef)
        : platform(platformRef), warnings(warningsRef) {}

    platform::Platform& platform;
    WarningSink& warnings;
    UploadSettings settings;
    FixedText<255> programDirectory;
    FixedText<255> settingsPath;
    // Set once the run has said that it keeps no settings for want of a home folder.
    bool noHomeFolderSaid = false;
};

inline constexpr std::string_view kSettingsFileName = "Vorlanth.ini";
inline constexpr std::string_view kSettingsSection = "Vorlanth";
inline constexpr std::string_view kEnvironmentFileName = "Kestmor.ini";
inline constexpr std::string_view kEnvironmentSection = "Enviroment";

// Reads the always-on-top flag from the environment file one directory above the program's.
void readEnvironmentFlag(SettingsRecord& record);
// Computes programDirectory (ending in the path separator) and settingsPath from the program's
// path; both stay empty, and false comes back, when they do not fit in 255 characters or the
// platform names no folder for the program (no home folder).
bool computeProgramPaths(SettingsRecord& record);
// Presets the settings, computes the paths and fills the settings from the settings file. A
// settings path that does not fit, or a file too large to read, is said as a warning; without
// a home folder nothing is read and the run says once that it saves no settings.
void loadSettings(SettingsRecord& record);
// Writes the five keys from the settings into settingsPath as one change. A save that fails,
// or that has no settingsPath because it did not fit, is said as a warning ("settings not
// saved") and gives false; the run goes on with the settings in memory.
bool saveSettings(SettingsRecord& record);

}  // namespace vorlanth::settings
