#pragma once

#include <string>
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
// path; both stay empty when they do not fit in 255 characters.
void computeProgramPaths(Session& session);
// Presets the settings, computes the paths and fills the settings from the settings file.
void loadSettings(Session& session);
// Writes the five keys from the settings into settingsPath; nothing without a settingsPath.
void saveSettings(Session& session);
// The value of a key, at most 499 characters, or the default.
std::string readProfileValue(Session& session, std::string_view section, std::string_view key,
                             std::string_view defaultValue, const std::string& path);

}  // namespace vorlanth::settings
