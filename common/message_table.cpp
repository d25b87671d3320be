// The message table's rows: the result codes' messages with the program's caption, the format
// error with its own, a program that is not the expected one, and the command line's errors as
// plain boxes.
#include "common/message_table.h"

#include <array>

namespace vorlanth {

namespace {

// A result code's message: the program's caption, topmost, owned by the active window.
constexpr MessageEntry resultRow(ResultCode code, std::string_view text, MessageIcon icon,
                                 MessageButtons buttons = MessageButtons::Ok,
                                 MessageOwner owner = MessageOwner::ActiveWindow) {
    return {MessageId::result(code), text, kProgramCaption, icon, buttons, owner, true};
}

// A command-line error: no owner, the platform's default caption, no icon, OK, not topmost.
constexpr MessageEntry commandLineRow(int error, std::string_view text) {
    return {MessageId::commandLine(error),
            text,
            {},
            MessageIcon::None,
            MessageButtons::Ok,
            MessageOwner::None,
            false};
}

constexpr MessageIcon kWarning = MessageIcon::Warning;

constexpr std::array<MessageEntry, 28> kMessages = {{
    resultRow(ResultCode::UploadSucceeded, "Uploaded successfully!", MessageIcon::Information),
    resultRow(ResultCode::CantOpenComPort, "Can't open the COM port!", kWarning),
    resultRow(ResultCode::CantConfigureIrDevice, "Can not configure the IR device!", kWarning),
    resultRow(ResultCode::FailedToSetCommState, "Failed to set communication state", kWarning),
    resultRow(ResultCode::SocketLibraryFailed, "Unable to initialize the WinSock library",
              kWarning),
    resultRow(ResultCode::CantCreateSocket, "Can not create socket", kWarning),
    resultRow(ResultCode::CantConnect, "Can not establish connection", kWarning),
    resultRow(ResultCode::RecordUploadError, "Error on Uploading!", kWarning),
    resultRow(ResultCode::FailedToEraseFlash, "Failed to erase the flash memory!", kWarning),
    resultRow(ResultCode::CantEraseFlash, "Can not erase the flash memory!", kWarning),
    resultRow(ResultCode::BlockUploadError,
              "Error on Uploading!\nPlease reset the terminal and try again!", kWarning),
    resultRow(ResultCode::CommunicationError,
              "Communication error!\nPlease reset your terminal and try again.", kWarning),
    resultRow(ResultCode::TerminalNotReady, "Terminal is not ready!", kWarning),
    // Shown by the settings form's OK, in front of the form.
    resultRow(ResultCode::InvalidIpAddress, "Invalid IP address!!", kWarning, MessageButtons::Ok,
              MessageOwner::SettingsForm),
    resultRow(ResultCode::CantOpenFile, "Can't open the file!", kWarning),
    resultRow(ResultCode::CantOpenCompanionFile, "Can't open the initial setting file (*.INI)!",
              kWarning),
    resultRow(ResultCode::RetryQuestion, "Failed to Upload, would you like to retry?",
              MessageIcon::Question, MessageButtons::YesNo),
    {MessageId::formatError(), kFormatErrorText, kFormatErrorCaption, kWarning, MessageButtons::Ok,
     MessageOwner::None, true},
    {MessageId::unexpectedDigest(), kUnexpectedDigestText, kProgramCaption, kWarning,
     MessageButtons::Ok, MessageOwner::ActiveWindow, true},
    commandLineRow(1, "Wrong command line format!"),
    commandLineRow(2, "Wrong file path specified!"),
    commandLineRow(3, "Wrong link type specified!"),
    commandLineRow(4, "Wrong COM port specified!"),
    commandLineRow(5, "Wrong baud rate specified!"),
    commandLineRow(6, "Wrong file type specified!"),
    commandLineRow(7, "Wrong execution mode specified!"),
    commandLineRow(8, "Wrong Remote IP specified!"),
    commandLineRow(9, "Wrong Remote Port specified!"),
}};

}  // namespace

std::optional<MessageEntry> findMessage(MessageId id) {
    for (const MessageEntry& message : kMessages) {
        if (message.id == id) {
            return message;
        }
    }
    return std::nullopt;
}

std::optional<MessageEntry> findResultMessage(ResultCode code) {
    return findMessage(MessageId::result(code));
}

std::string resultMessageText(ResultCode code) {
    const std::optional<MessageEntry> message = findResultMessage(code);
    return message ? std::string(message->text) : std::string();
}

}  // namespace vorlanth
