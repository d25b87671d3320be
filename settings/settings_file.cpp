#include "settings/settings_file.h"

namespace vorlanth::settings {

// Not built yet: the flag stays off, the presets stand, and nothing is saved.
void readEnvironmentFlag(Session& session) {
    session.settings.alwaysOnTop = 0;
}

void computeProgramPaths(Session& /*session*/) {}

void loadSettings(Session& session) {
    presetUploadSettings(session.settings);
}

void saveSettings(Session& /*session*/) {}

std::string readProfileValue(Session& /*session*/, std::string_view /*section*/,
                             std::string_view /*key*/, std::string_view defaultValue,
                             const std::string& /*path*/) {
    return std::string(defaultValue);
}

}  // namespace vorlanth::settings
