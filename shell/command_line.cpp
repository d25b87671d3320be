// The six-field command line of a calling tool: program, link, COM port or address, rate or
// port, file type, mode; each field's error has its own message.
#include "shell/command_line.h"

#include "common/decimal.h"
#include "common/message_table.h"
#include "common/text.h"
#include "readers/file_types.h"

namespace vorlanth::shell {

namespace {

// Takes the field that starts at position and ends at the next comma. An empty field (the
// comma right at position) gives emptyError; no comma at all gives the format error. The
// emptiness test comes before trimming, so a field of blanks is not empty.
int extractField(const std::string& line, std::size_t& position, int emptyError,
                 std::string& field) {
    const std::size_t comma = line.find(',', position);
    if (comma == std::string::npos) {
        return kWrongFormat;
    }
    if (comma == position) {
        return emptyError;
    }
    field = line.substr(position, comma - position);
    trimSpaces(field);
    position = comma + 1;
    return kCommandLineOk;
}

}  // namespace

std::string_view commandLineErrorText(int error) {
    const std::optional<MessageEntry> message = findMessage(MessageId::commandLine(error));
    return message ? message->text : std::string_view();
}

void trimSpaces(std::string& text) {
    text = std::string(trimmed(text, kSpaces));
}

int parseCommandLineFields(std::string_view argumentText, UploadSettings& settings) {
    if (argumentText.size() > kMaxArgumentText) {
        return kWrongFormat;
    }
    std::string line(argumentText);
    trimSpaces(line);
    if (line.empty()) {
        return kWrongFormat;
    }
    std::size_t position = 0;
    std::string field;

    if (int error = extractField(line, position, kWrongFilePath, field)) {
        return error;
    }
    // A path that does not fit the program path is refused, never cut.
    if (!settings.programPath.assign(field)) {
        return kWrongFilePath;
    }

    if (int error = extractField(line, position, kWrongLinkType, field)) {
        return error;
    }
    const std::int32_t linkNumber = leadingDecimal(field);
    if (linkNumber < 1 || linkNumber > kLinkTypeCount) {
        return kWrongLinkType;
    }
    settings.linkType = linkNumber - 1;

    if (settings.linkType == Network) {
        if (int error = extractField(line, position, kWrongRemoteIp, field)) {
            return error;
        }
        if (!settings.targetAddress.assign(field)) {
            return kWrongRemoteIp;
        }
        if (int error = extractField(line, position, kWrongRemotePort, field)) {
            return error;
        }
        const std::int32_t port = leadingDecimal(field);
        settings.targetPort =
            static_cast<std::uint16_t>(port < 1 ? 1 : (port > 65535 ? 65535 : port));
    } else {
        if (int error = extractField(line, position, kWrongComPort, field)) {
            return error;
        }
        const std::int32_t comPort = leadingDecimal(field);
        if (comPort < 1 || comPort > 255) {
            return kWrongComPort;
        }
        settings.comPort = comPort;
        if (int error = extractField(line, position, kWrongBaudRate, field)) {
            return error;
        }
        const std::int32_t baudNumber = leadingDecimal(field);
        if (baudNumber < 1 || baudNumber > 5) {
            return kWrongBaudRate;
        }
        settings.baudIndex = baudNumber - 1;
    }

    if (int error = extractField(line, position, kWrongFileType, field)) {
        return error;
    }
    const std::int32_t fileType = leadingDecimal(field);
    if (readers::findFileType(fileType) == nullptr) {
        return kWrongFileType;
    }
    settings.fileType = fileType;

    // Field 6 is the rest of the line; an empty rest reads as 0.
    const std::string_view rest = std::string_view(line).substr(position);
    if (rest.find(',') != std::string_view::npos) {
        return kWrongFormat;
    }
    const std::int32_t mode = leadingDecimal(rest);
    if (mode < 0 || mode > 1) {
        return kWrongExecutionMode;
    }
    settings.executionMode = mode;
    return kCommandLineOk;
}

int parseCommandLine(std::string_view argumentText, UploadSettings& settings, FrontEnd& frontEnd) {
    const int error = parseCommandLineFields(argumentText, settings);
    if (error == kCommandLineOk) {
        return 1;
    }
    frontEnd.tell(MessageId::commandLine(error), FailureDetail{});
    return 0;
}

}  // namespace vorlanth::shell
