#pragma once

#include <string_view>

#include "common/session.h"

namespace vorlanth::settings {

inline constexpr std::string_view kSettingsFileName = "Vorlanth.ini";
inline constexpr std::string_view kSettingsSection = "Vorlanth";
inline constexpr std::string_view kEnvironmentFileName = "Kestmor.ini";
inline constexpr std::string_view kEnvironmentSection = "Enviroment";

// Reads the always-on-top flag from the environment file one directory above the program's.
void readEnvironmentFlag(Session& session);
// Computes programDirectory (ending in the path separator) and settingsPath from the program's
// path; both stay empty, and false comes back, when they do not fit in 255 characters.
bool computeProgramPaths(Session& session);
// Presets the settings, computes the paths and fills the settings from the settings file. A
// settings path that does not fit, or a file too large to read, is said as a warning.
void loadSettings(Session& session);
// Writes the five keys from the settings into settingsPath as one change. A save that fails,
// or that has no settingsPath because it did not fit, is said as a warning ("settings not
// saved") and gives false; the run goes on with the settings in memory.
bool saveSettings(Session& session);

}  // namespace vorlanth::settings
