// Uploading a sectioned binary image: the worked examples' frames, and each format error with its
// place.
#include <gtest/gtest.h>

#include "tests/unit/program_files.h"
#include "tests/unit/protocol_scripted_terminal.h"

namespace vorlanth::readers {
namespace {

using testing::bigEndian;
using testing::Bytes;
using testing::hexBytes;
using testing::kEndRecordBytes;
using testing::RecordingProgress;
using testing::ScriptedTerminal;
using testing::section;
using testing::operator+;
using testing::textBytes;

Bytes recordFrame(std::uint32_t address, const Bytes& data) {
    Bytes frame =
        Bytes{'S', '3', static_cast<std::uint8_t>(data.size() + 5)} + bigEndian(address) + data;
    unsigned sum = 0;
    for (std::size_t i = 2; i < frame.size(); ++i) {
        sum += frame[i];
    }
    return frame + Bytes{static_cast<std::uint8_t>(0xFF - (sum & 0xFF)), 0x0D};
}

struct Upload {
    ResultCode result;
    std::vector<Bytes> frames;
    std::vector<int> positions;
    std::vector<std::string> messages;
};

Upload upload(ScriptedTerminal& terminal, const Bytes& file) {
    terminal.setProgramFile(file);
    RecordingProgress progress;
    const ResultCode code = terminal.transfer(BinaryImage, progress);
    return {code, terminal.frames(), progress.positions, terminal.frontEnd.texts()};
}

Upload upload(const Bytes& file) {
    ScriptedTerminal terminal;
    return upload(terminal, file);
}

TEST(TransferBinaryImage, WorkedExamplesGolden) {
    const Bytes runs = Bytes(256, 0xAA) + hexBytes("01 FF FF 02 03 FF") + Bytes(58, 0xFF);
    struct Case {
        const char* name;
        Bytes file;
        std::vector<Bytes> frames;
        std::vector<int> positions;
    };
    const std::vector<Case> cases = {
        {"three bytes",
         section(0x8000, hexBytes("01 02 03")),
         {hexBytes("53 33 08 00 00 80 00 01 02 03 71 0D"), kEndRecordBytes},
         {100}},
        {"runs of other bytes after the first four chunks",
         section(0x8000, runs),
         {recordFrame(0x8000, Bytes(64, 0xAA)), recordFrame(0x8040, Bytes(64, 0xAA)),
          recordFrame(0x8080, Bytes(64, 0xAA)), recordFrame(0x80C0, Bytes(64, 0xAA)),
          hexBytes("53 33 06 00 00 81 00 01 77 0D"), hexBytes("53 33 07 00 00 81 03 02 03 6F 0D"),
          kEndRecordBytes},
         // 348 bytes; after each chunk but the section's last.
         {23, 42, 60, 79, 100}},
        {"erased bytes cost nothing beyond the first chunks",
         section(0x80, Bytes(384, 0xFF)),
         {recordFrame(0x80, Bytes(64, 0xFF)), recordFrame(0xC0, Bytes(64, 0xFF)),
          recordFrame(0x100, Bytes(64, 0xFF)), recordFrame(0x140, Bytes(64, 0xFF)),
          kEndRecordBytes},
         {20, 35, 51, 66, 82, 100}},
        {"below address 256 every chunk is whole",
         section(0x0, Bytes(320, 0xFF)),
         {recordFrame(0x0, Bytes(64, 0xFF)), recordFrame(0x40, Bytes(64, 0xFF)),
          recordFrame(0x80, Bytes(64, 0xFF)), recordFrame(0xC0, Bytes(64, 0xFF)), kEndRecordBytes},
         {23, 42, 60, 79, 100}},
        {"a second section starts its chunks again",
         section(0x8000, Bytes(64, 0x11)) + section(0x9000, Bytes(64, 0xFF)),
         {recordFrame(0x8000, Bytes(64, 0x11)), recordFrame(0x9000, Bytes(64, 0xFF)),
          kEndRecordBytes},
         {100}},
        {"a section of length 0",
         section(0x8000, {}),
         {hexBytes("53 33 05 00 00 80 00 7A 0D"), kEndRecordBytes},
         {100}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const Upload result = upload(test.file);
        EXPECT_EQ(result.result, ResultCode::Done);
        EXPECT_EQ(result.frames, test.frames);
        EXPECT_EQ(result.positions, test.positions);
        EXPECT_TRUE(result.messages.empty());
    }
}

TEST(TransferBinaryImage, FormatErrors) {
    const Bytes good = section(0x8000, hexBytes("01 02 03"));
    struct Case {
        const char* name;
        Bytes file;
    };
    const std::vector<Case> cases = {
        {"empty file", {}},
        {"no start mark", textBytes("TOLVEXSTARX") + Bytes(20, 0)},
        {"start mark cut short", textBytes("TOLVEX")},
        {"header cut short", textBytes("TOLVEXSTART") + bigEndian(0x8000) + Bytes{0, 0}},
        {"bytes after the last section", good + textBytes("TOLV")},
        {"end mark missing", Bytes(good.begin(), good.end() - 9)},
        {"end mark wrong", Bytes(good.begin(), good.end() - 1) + textBytes("X")},
        // A section without data has nothing to be cut short: the file must go on to its mark.
        {"file ends after the header of a section without data",
         good + textBytes("TOLVEXSTART") + bigEndian(0x9000) + bigEndian(0)},
        {"a section that declares more than the file holds",
         textBytes("TOLVEXSTART") + bigEndian(0x8000) + bigEndian(200) + Bytes(10, 0x22)},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ScriptedTerminal terminal;
        const Upload result = upload(terminal, test.file);
        EXPECT_EQ(result.result, ResultCode::Failed);
        // The whole file is checked first: nothing of it goes out.
        EXPECT_TRUE(result.frames.empty());
        ASSERT_EQ(terminal.frontEnd.messages.size(), 1u);
        const fakes::ToldMessage& box = terminal.frontEnd.messages[0];
        EXPECT_EQ(box.text, "Format Error!");
        EXPECT_EQ(box.caption, std::optional<std::string>("Program Download"));
        EXPECT_EQ(box.icon, MessageIcon::Warning);
        EXPECT_TRUE(box.topmost);
        EXPECT_EQ(box.owner, MessageOwner::None);
    }
}

// A file that reports a size larger than what its reads deliver, then fails its reads.
class FailingFile final : public platform::ReadableFile {
  public:
    explicit FailingFile(Bytes bytes) : bytes_(std::move(bytes)) {}
    std::int64_t read(std::span<std::uint8_t> buffer) override {
        ++reads;
        if (position_ >= bytes_.size()) {
            return -1;
        }
        const std::size_t count = std::min(buffer.size(), bytes_.size() - position_);
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), count, buffer.begin());
        position_ += count;
        return static_cast<std::int64_t>(count);
    }
    std::int64_t size() override { return reportedSize; }
    bool rewind() override {
        position_ = 0;
        return true;
    }
    std::int64_t reportedSize = 100000;
    int reads = 0;

  private:
    Bytes bytes_;
    std::size_t position_ = 0;
};

TEST(TransferBinaryImage, FailedReadEndsBeforeAnythingIsSent) {
    ScriptedTerminal terminal;
    const Bytes full = section(0x8000, Bytes(200, 0x33));
    auto file = std::make_unique<FailingFile>(Bytes(full.begin(), full.begin() + 19 + 64));
    FailingFile& watched = *file;
    terminal.session.programFile = std::move(file);
    RecordingProgress progress;
    EXPECT_EQ(terminal.transfer(BinaryImage, progress), ResultCode::Failed);
    EXPECT_TRUE(terminal.frames().empty());
    // The file is not at fault: no "Format Error!", but the session says what stopped.
    EXPECT_TRUE(terminal.frontEnd.texts().empty());
    EXPECT_EQ(terminal.session.failure.kind, FailureKind::System);
    EXPECT_EQ(terminal.session.failure.offset, 19 + 64);
    EXPECT_LE(watched.reads, 6);
}

TEST(TransferBinaryImage, UnknownSizeEndsBeforeAnythingIsSent) {
    ScriptedTerminal terminal;
    auto file = std::make_unique<FailingFile>(section(0x8000, hexBytes("01 02")));
    file->reportedSize = -1;
    terminal.session.programFile = std::move(file);
    RecordingProgress progress;
    EXPECT_EQ(terminal.transfer(BinaryImage, progress), ResultCode::Failed);
    EXPECT_TRUE(terminal.frames().empty());
    EXPECT_TRUE(terminal.frontEnd.texts().empty());
    EXPECT_EQ(terminal.session.failure.kind, FailureKind::System);
}

TEST(TransferBinaryImage, FailedRecordEndsWithoutMessage) {
    ScriptedTerminal terminal;
    terminal.script({"FA\r", "FF\r"});
    const Upload result = upload(terminal, section(0x8000, Bytes(200, 0x44)));
    EXPECT_EQ(result.result, ResultCode::Failed);
    EXPECT_EQ(result.frames.size(), 2u);
    EXPECT_TRUE(result.messages.empty());
}

TEST(TransferBinaryImage, EndRecordOutcomeIsNotExamined) {
    for (const bool fails : {false, true}) {
        ScriptedTerminal terminal;
        terminal.useNetwork();
        terminal.platform.datagramPeer.responder = [fails](fakes::FakeDatagramPeer& peer,
                                                           std::span<const std::uint8_t> sent) {
            if (sent[1] != '7') {
                peer.deliver("FA\r");
            } else if (fails) {
                peer.receivesFail = true;
            } else {
                peer.deliver("FF\r");
            }
        };
        terminal.setProgramFile(section(0x8000, hexBytes("01")));
        RecordingProgress progress;
        EXPECT_EQ(terminal.transfer(BinaryImage, progress), ResultCode::Done);
        EXPECT_EQ(terminal.platform.datagramPeer.sent.size(), 2u);
    }
}

TEST(TransferBinaryImage, ShortReadsGiveTheSameRecords) {
    const Bytes file = section(0x8000, Bytes(300, 0x12)) + section(0x20, hexBytes("FF 01"));
    const Upload whole = upload(file);
    ScriptedTerminal terminal;
    terminal.platform.fileSystem.readLimit = 5;
    const Upload pieces = upload(terminal, file);
    EXPECT_EQ(whole.result, ResultCode::Done);
    EXPECT_EQ(pieces.result, ResultCode::Done);
    EXPECT_EQ(pieces.frames, whole.frames);
    EXPECT_EQ(whole.frames.size(), 7u);
}

}  // namespace
}  // namespace vorlanth::readers
