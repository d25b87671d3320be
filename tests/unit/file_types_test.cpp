// The file-type table, row by row, through what the loader does with each type: the extension
// that names it, the handshake, the erase, how the end goes out, what a refused piece or a lost
// end gives, and the names the dialog, --check and --json show. A number no type has is sent
// as a BASIC program and appears nowhere.
#include "readers/file_types.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "dialog/main_dialog.h"
#include "shell/command_line.h"
#include "shell/upload_driver.h"
#include "tests/fakes/fake_dialog_view.h"
#include "tests/unit/captured_stream.h"
#include "tests/unit/protocol_scripted_terminal.h"
#include "ui/console/check_report.h"
#include "ui/console/json_events.h"

namespace vorlanth {
namespace {

using testing::Bytes;
using testing::hexBytes;
using testing::kEndRecordBytes;
using testing::ScriptedTerminal;
using testing::textBytes;

// A valid program of each file type; anything but these two is read as a BASIC program.
Bytes validProgram(int fileType) {
    if (fileType == BinaryImage) {
        Bytes image = textBytes("TOLVEXSTART");
        for (const Bytes& part : {hexBytes("00 00 80 00 00 00 00 01 5A"), textBytes("TOLVEXEND")}) {
            image.insert(image.end(), part.begin(), part.end());
        }
        return image;
    }
    if (fileType == SRecord) {
        return textBytes("S3090000100001020304DC\r\nS70500000000FA\r\n");
    }
    return Bytes(12, 0);  // BASIC: both counts 0
}

// How a terminal answers: ready at once, erased at once, plain BASIC blocks; records (the end
// record included) and blocks as the case says.
std::string answerTo(const Bytes& sent, const std::string& recordAnswer,
                     const std::string& blockAnswer) {
    const std::string text(sent.begin(), sent.end());
    if (text == "\r") {
        return "FN\r";
    }
    if (text == ":ERASE\r") {
        return "FA\r";
    }
    if (text == "TOLVEX\r" || text == "END\r") {
        return "ACK\r";
    }
    return sent[0] == 'S' ? recordAnswer : blockAnswer;
}

struct Outcome {
    ResultCode result = ResultCode::Failed;
    std::vector<Bytes> frames;
};

// One upload of the type's valid program. The terminal answers records and blocks as given;
// with endLost, over the datagram link, the receive of the answer to the end fails.
Outcome upload(int fileType, bool companion, const std::string& recordAnswer,
               const std::string& blockAnswer, bool endLost = false) {
    ScriptedTerminal terminal;
    if (endLost) {
        terminal.useNetwork();
    }
    const auto answer = [=](const Bytes& sent) -> std::optional<std::string> {
        if (endLost && (sent == kEndRecordBytes || sent == textBytes("END\r"))) {
            return std::nullopt;
        }
        return answerTo(sent, recordAnswer, blockAnswer);
    };
    terminal.platform.serialLine.responder = [=](fakes::FakeSerialLine& line,
                                                 std::span<const std::uint8_t> sent) {
        line.deliver(*answer(Bytes(sent.begin(), sent.end())));
    };
    terminal.platform.datagramPeer.responder = [=](fakes::FakeDatagramPeer& peer,
                                                   std::span<const std::uint8_t> sent) {
        const std::optional<std::string> reply = answer(Bytes(sent.begin(), sent.end()));
        if (reply) {
            // The link reads at most three bytes a datagram.
            for (std::size_t at = 0; at < reply->size(); at += 3) {
                peer.deliver(std::string_view(*reply).substr(at, 3));
            }
        } else {
            peer.receivesFail = true;
        }
    };
    terminal.session.settings.fileType = fileType;
    terminal.setProgramFile(validProgram(fileType));
    if (companion) {
        terminal.setCompanionFile(textBytes("[Settings]"));
    }
    Outcome outcome;
    outcome.result = shell::uploadProgram(terminal.session);

    outcome.frames = terminal.frames();
    for (const auto& datagram : terminal.platform.datagramPeer.sent) {
        outcome.frames.push_back(datagram.bytes);
    }
    return outcome;
}

TEST(FileTypeTable, EachRowGivesItsTypesBehaviour) {
    struct Case {
        int fileType;
        const char* path;  // a name whose extension names the type; nullptr: none does
        bool companion;
        std::string firstCommand;
        bool erased;
        Bytes end;
        ResultCode refused;  // the terminal refuses the first record ("FF") or block ("NAK")
        ResultCode endLost;  // the answer to the end cannot be received
        const char* title;   // --check; nullptr: --check never takes the number
        const char* json;
        const char* listEntry;  // at the number's place in the dialog; nullptr: none
    };
    const std::vector<Case> cases = {
        {SRecord, "dir.v2/APP.S19", false, "\r", true, kEndRecordBytes,
         ResultCode::RecordUploadError, ResultCode::RecordUploadError, "S-record program",
         "srecord", ".SHX file"},
        {Basic, "app.Qbx", true, "TOLVEX\r", false, textBytes("END\r"),
         ResultCode::BlockUploadError, ResultCode::BlockUploadError, "BASIC program", "basic",
         ".QBX file"},
        {BinaryImage, "C:\\out\\image.BIN", false, "\r", true, kEndRecordBytes, ResultCode::Failed,
         ResultCode::Done, "binary image", "binary-image", ".BIN file"},
        {7, nullptr, false, "TOLVEX\r", false, textBytes("END\r"), ResultCode::BlockUploadError,
         ResultCode::BlockUploadError, nullptr, "basic", nullptr},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.fileType);
        if (test.path != nullptr) {
            EXPECT_EQ(readers::fileTypeFromExtension(test.path), test.fileType);
        }
        EXPECT_EQ(readers::hasCompanion(test.fileType), test.companion);

        const Outcome accepted = upload(test.fileType, test.companion, "FA\r", "ACK\r");
        EXPECT_EQ(accepted.result, ResultCode::Done);
        ASSERT_FALSE(accepted.frames.empty());
        EXPECT_EQ(accepted.frames.front(), textBytes(test.firstCommand));
        EXPECT_EQ(std::count(accepted.frames.begin(), accepted.frames.end(), textBytes(":ERASE\r")),
                  test.erased ? 1 : 0);
        EXPECT_EQ(accepted.frames.back(), test.end);
        EXPECT_EQ(upload(test.fileType, test.companion, "FF\r", "NAK\r").result, test.refused);
        EXPECT_EQ(upload(test.fileType, test.companion, "FA\r", "ACK\r", true).result,
                  test.endLost);

        testing::CapturedStream json;
        UploadSettings settings;
        settings.fileType = test.fileType;
        ui::console::JsonEventWriter writer(json.get());
        writer.start(settings);
        writer.programChecked({});
        EXPECT_NE(json.text().find(std::string(",\"fileType\":\"") + test.json + "\","),
                  std::string::npos)
            << json.text();

        fakes::FakePlatform platform;
        fakes::RecordingFrontEnd frontEnd;
        Session session{platform, frontEnd};
        fakes::FakeDialogView view;
        dialog::openMainDialog(session, view);
        const std::vector<std::string>& entries =
            view.controls[dialog::control::kFileTypeBox].entries;
        const auto place = static_cast<std::size_t>(test.fileType);
        const std::optional<std::string> shown =
            place < entries.size() ? std::optional(entries[place]) : std::nullopt;
        EXPECT_EQ(shown, test.listEntry != nullptr ? std::optional<std::string>(test.listEntry)
                                                   : std::nullopt);

        UploadSettings parsed;
        const std::string line = "app,1,1,1," + std::to_string(test.fileType) + ",1";
        EXPECT_EQ(shell::parseCommandLineFields(line, parsed),
                  test.title != nullptr ? shell::kCommandLineOk : shell::kWrongFileType);
        if (test.title != nullptr) {
            fakes::FakePlatform checking;
            checking.fileSystem.files["app"] = validProgram(test.fileType);
            checking.fileSystem.files["app.ini"] = textBytes("[Settings]");
            const std::string report = ui::console::formatCheckReport(
                shell::checkProgramFile(checking, "app", test.fileType));
            EXPECT_EQ(report.rfind(std::string("app: ") + test.title + ", ", 0), 0u) << report;
        }
    }
}

}  // namespace
}  // namespace vorlanth
