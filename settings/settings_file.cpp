#include "settings/settings_file.h"

#include <string>

#include "common/decimal.h"

namespace vorlanth::settings {

namespace {

constexpr std::size_t kProgramPathArea = 1000;  // the program's full path
constexpr std::size_t kEnvironmentPathArea = 504;
constexpr std::size_t kValueArea = 500;  // a value read from a profile file

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

void writeKey(Session& session, std::string_view key, std::string_view value) {
    // The result of each write is ignored: the run goes on with the settings in memory.
    session.platform.profile().writeString(kSettingsSection, key, value,
                                           session.settingsPath.str());
}

}  // namespace

// The environment file is "Kestmor.ini" in the parent of the program's directory. A directory
// whose parent would be the path's first character (a drive root such as "C:\", or "/x/")
// holds the file itself. Without any directory in the program's path nothing is read.
void readEnvironmentFlag(Session& session) {
    session.settings.alwaysOnTop = 0;
    const char separator = session.platform.pathSeparator();
    std::string path = session.platform.programPath();
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
    const std::string flag =
        readProfileValue(session, kEnvironmentSection, "AlwaysOnTop", "0", path);
    session.settings.alwaysOnTop = leadingDecimal(flag);
}

// programDirectory is the program's path up to and including its last separator; both texts
// stay empty when they would not fit in their 255 characters, so that nothing is ever read
// from or written to a cut path.
void computeProgramPaths(Session& session) {
    session.programDirectory.clear();
    session.settingsPath.clear();
    const std::string path = session.platform.programPath();
    const std::size_t separator = path.rfind(session.platform.pathSeparator());
    const std::string directory =
        separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
    if (!session.programDirectory.assign(directory) ||
        !session.settingsPath.assign(directory + std::string(kSettingsFileName))) {
        session.programDirectory.clear();
        session.settingsPath.clear();
    }
}

// Values outside their enumerations are replaced by the presets here, so that no other part
// of the system ever meets them; a Serial "ComPort" is kept as stored (the dialog brings it
// into 1..255).
void loadSettings(Session& session) {
    UploadSettings& settings = session.settings;
    presetUploadSettings(settings);
    computeProgramPaths(session);
    const std::string path = session.settingsPath.str();
    if (path.empty() || !session.platform.files().openForReading(path)) {
        return;  // no file, or held open by another program: the presets stand
    }

    settings.programPath.assignCut(
        readProfileValue(session, kSettingsSection, "FileName", "", path));

    const std::string comType = readProfileValue(session, kSettingsSection, "ComType", "", path);
    if (!comType.empty()) {
        const std::int32_t linkType = leadingDecimal(comType) - 1;
        if (linkType >= Serial && linkType <= Network) {
            settings.linkType = linkType;
        }
    }

    const std::int32_t fileType =
        leadingDecimal(readProfileValue(session, kSettingsSection, "FileType", "0", path));
    if (fileType >= SRecord && fileType <= BinaryImage) {
        settings.fileType = fileType;
    }

    const std::string comPort = readProfileValue(session, kSettingsSection, "ComPort", "1", path);
    if (settings.linkType == Network) {
        settings.targetAddress.assignCut(comPort);
        const std::int32_t port =
            leadingDecimal(readProfileValue(session, kSettingsSection, "Baudrate", "3000", path));
        settings.targetPort = static_cast<std::uint16_t>(port < 1       ? 1
                                                         : port > 65535 ? 65535
                                                                        : port);
        return;
    }
    settings.comPort = leadingDecimal(comPort);
    const std::string baudrate = readProfileValue(session, kSettingsSection, "Baudrate", "", path);
    if (!baudrate.empty()) {
        const std::int32_t baudIndex = leadingDecimal(baudrate) - 1;
        if (baudIndex >= 0 && baudIndex < static_cast<std::int32_t>(kBaudRates.size())) {
            settings.baudIndex = baudIndex;
        }
    }
}

// Writes all five keys on every save, in the order FileName, ComPort, ComType, FileType,
// Baudrate; ComPort and Baudrate hold the address and port for a Network link. Nothing is
// written when there is no settings path.
void saveSettings(Session& session) {
    const UploadSettings& settings = session.settings;
    if (session.settingsPath.empty()) {
        return;
    }
    const bool network = settings.linkType >= Network;
    writeKey(session, "FileName", settings.programPath.view());
    writeKey(session, "ComPort",
             network ? settings.targetAddress.str() : std::to_string(settings.comPort));
    writeKey(session, "ComType", std::to_string(settings.linkType + 1LL));
    writeKey(session, "FileType", std::to_string(settings.fileType));
    writeKey(session, "Baudrate",
             std::to_string(network ? settings.targetPort : settings.baudIndex + 1LL));
}

// Values are read into an area of 500 characters: at most 499 come back.
std::string readProfileValue(Session& session, std::string_view section, std::string_view key,
                             std::string_view defaultValue, const std::string& path) {
    return session.platform.profile().readString(section, key, defaultValue, path, kValueArea);
}

}  // namespace vorlanth::settings
