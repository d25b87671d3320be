#include "common/message_table.h"

#include <array>

namespace vorlanth {

namespace {

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

}  // namespace vorlanth
