// The result codes as a script sees them: the number --json gives for each, its message, and
// which of them count as success.
#include <gtest/gtest.h>

#include <optional>
#include <string_view>
#include <vector>

#include "common/message_table.h"
#include "common/types.h"
#include "tests/fakes/result_code_printer.h"

namespace vorlanth {
namespace {

// Every code, its designed number and the start of its message (nullptr: it has none). A code
// that changed its number or lost its message would change what scripts read.
TEST(ResultCodes, EachKeepsItsNumberAndMessage) {
    struct Case {
        ResultCode code;
        int number;
        const char* messageStart;
        bool success;
    };
    const std::vector<Case> cases = {
        {ResultCode::Failed, 0, nullptr, false},
        {ResultCode::Done, 1, nullptr, true},
        {ResultCode::UploadSucceeded, 100, "Uploaded successfully!", true},
        {ResultCode::CantOpenComPort, -100, "Can't open the COM port!", false},
        {ResultCode::CantConfigureIrDevice, -101, "Can not configure the IR device!", false},
        {ResultCode::FailedToSetCommState, -102, "Failed to set communication state", false},
        {ResultCode::SocketLibraryFailed, -103, "Unable to initialize", false},
        {ResultCode::CantCreateSocket, -104, "Can not create socket", false},
        {ResultCode::CantConnect, -105, "Can not establish connection", false},
        {ResultCode::RecordUploadError, -106, "Error on Uploading!", false},
        {ResultCode::FailedToEraseFlash, -107, "Failed to erase the flash memory!", false},
        {ResultCode::CantEraseFlash, -108, "Can not erase the flash memory!", false},
        {ResultCode::BlockUploadError, -109, "Error on Uploading!\nPlease reset", false},
        {ResultCode::CommunicationError, -110, "Communication error!", false},
        {ResultCode::TerminalNotReady, -111, "Terminal is not ready!", false},
        {ResultCode::InvalidIpAddress, -150, "Invalid IP address!!", false},
        {ResultCode::CantOpenFile, -151, "Can't open the file!", false},
        {ResultCode::CantOpenCompanionFile, -152, "Can't open the initial setting file", false},
        {ResultCode::RetryQuestion, -153, "Failed to Upload, would you like to retry?", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        EXPECT_EQ(codeNumber(c.code), c.number);
        EXPECT_EQ(succeeded(c.code), c.success);
        const std::optional<MessageEntry> entry = findResultMessage(c.code);
        if (c.messageStart == nullptr) {
            EXPECT_FALSE(entry.has_value());
            continue;
        }
        ASSERT_TRUE(entry.has_value());
        EXPECT_EQ(entry->code(), c.number);
        EXPECT_EQ(entry->text.substr(0, std::string_view(c.messageStart).size()), c.messageStart);
    }
}

}  // namespace
}  // namespace vorlanth
