#include "shell/result_messages.h"

#include <array>

namespace vorlanth::shell {

namespace {

using ui::MessageButtons;
using ui::MessageIcon;

constexpr std::array<ResultMessage, 17> kMessages = {{
    {result::kUploadSucceeded, "Uploaded successfully!", MessageIcon::Information,
     MessageButtons::Ok},
    {result::kCantOpenComPort, "Can't open the COM port!", MessageIcon::Warning,
     MessageButtons::Ok},
    {result::kCantConfigureIrDevice, "Can not configure the IR device!", MessageIcon::Warning,
     MessageButtons::Ok},
    {result::kFailedToSetCommState, "Failed to set communication state", MessageIcon::Warning,
     MessageButtons::Ok},
    {result::kSocketLibraryFailed, "Unable to initialize the WinSock library", MessageIcon::Warning,
     MessageButtons::Ok},
    {result::kCantCreateSocket, "Can not create socket", MessageIcon::Warning, MessageButtons::Ok},
    {result::kCantConnect, "Can not establish connection", MessageIcon::Warning,
     MessageButtons::Ok},
    {result::kRecordUploadError, "Error on Uploading!", MessageIcon::Warning, MessageButtons::Ok},
    {result::kFailedToEraseFlash, "Failed to erase the flash memory!", MessageIcon::Warning,
     MessageButtons::Ok},
    {result::kCantEraseFlash, "Can not erase the flash memory!", MessageIcon::Warning,
     MessageButtons::Ok},
    {result::kBlockUploadError, "Error on Uploading!\nPlease reset the terminal and try again!",
     MessageIcon::Warning, MessageButtons::Ok},
    {result::kCommunicationError, "Communication error!\nPlease reset your terminal and try again.",
     MessageIcon::Warning, MessageButtons::Ok},
    {result::kTerminalNotReady, "Terminal is not ready!", MessageIcon::Warning, MessageButtons::Ok},
    {result::kInvalidIpAddress, "Invalid IP address!!", MessageIcon::Warning, MessageButtons::Ok},
    {result::kCantOpenFile, "Can't open the file!", MessageIcon::Warning, MessageButtons::Ok},
    {result::kCantOpenCompanionFile, "Can't open the initial setting file (*.INI)!",
     MessageIcon::Warning, MessageButtons::Ok},
    {result::kRetryQuestion, "Failed to Upload, would you like to retry?", MessageIcon::Question,
     MessageButtons::YesNo},
}};

}  // namespace

std::optional<ResultMessage> findResultMessage(ResultCode code) {
    for (const ResultMessage& message : kMessages) {
        if (message.code == code) {
            return message;
        }
    }
    return std::nullopt;
}

int showResultMessage(ui::FrontEnd& frontEnd, ui::WindowHandle owner, ResultCode code,
                      const FailureDetail* detail) {
    const std::optional<ResultMessage> message = findResultMessage(code);
    if (!message) {
        return 0;
    }
    ui::MessageBoxRequest request;
    request.owner = owner;
    request.text = std::string(message->text);
    request.caption = std::string(kProgramCaption);
    request.icon = message->icon;
    request.buttons = message->buttons;
    request.topmost = true;
    request.code = code;
    if (detail != nullptr) {
        request.detail = *detail;
    }
    const int answer = frontEnd.showMessageBox(request);
    return code == result::kRetryQuestion ? answer : 0;
}

void showFormatError(ui::FrontEnd& frontEnd, const FailureDetail& detail) {
    ui::MessageBoxRequest request;
    request.owner = 0;
    request.text = std::string(kFormatErrorText);
    request.caption = std::string(kFormatErrorCaption);
    request.icon = ui::MessageIcon::Warning;
    request.buttons = ui::MessageButtons::Ok;
    request.topmost = true;
    request.detail = detail;
    frontEnd.showMessageBox(request);
}

}  // namespace vorlanth::shell
