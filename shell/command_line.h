// The six-field argument text (file, link, port or address, rate, file type, mode): parsing it
// into the upload settings and the messages of its errors.
#pragma once

#include <string>
#include <string_view>

#include "common/types.h"
#include "shell/front_end.h"

namespace vorlanth::shell {

// The longest argument text the command line takes.
inline constexpr std::size_t kMaxArgumentText = 356;

// Error numbers of the command line; 0 means all six fields were accepted.
enum CommandLineError : int {
    kCommandLineOk = 0,
    kWrongFormat = 1,
    kWrongFilePath = 2,
    kWrongLinkType = 3,
    kWrongComPort = 4,
    kWrongBaudRate = 5,
    kWrongFileType = 6,
    kWrongExecutionMode = 7,
    kWrongRemoteIp = 8,
    kWrongRemotePort = 9,
};

// The message text of an error number (from the message table).
std::string_view commandLineErrorText(int error);

// Removes leading and trailing space characters (not tabs).
void trimSpaces(std::string& text);

// Parses the six comma-separated fields into settings; returns the error number, or 0.
// Values stored before an error are not restored.
int parseCommandLineFields(std::string_view argumentText, UploadSettings& settings);

// Parses the argument text; on an error tells its message (a plain one, as the message table
// says) and returns 0; returns 1 when all six fields were accepted.
int parseCommandLine(std::string_view argumentText, UploadSettings& settings, FrontEnd& frontEnd);

}  // namespace vorlanth::shell
