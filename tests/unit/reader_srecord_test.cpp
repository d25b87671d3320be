// Uploading an S-record file: hexadecimal pairs, the worked examples' frames, and each format
// error with its line and column.
#include "readers/srecord_decoder.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/unit/program_files.h"
#include "tests/unit/protocol_scripted_terminal.h"

namespace vorlanth::readers {
namespace {

using testing::Bytes;
using testing::hexBytes;
using testing::kEndRecordBytes;
using testing::lines;
using testing::RecordingProgress;
using testing::ScriptedTerminal;
using testing::srec;
using testing::textBytes;

// The frame of a data record for address with data, as sendRecord completes it.
Bytes recordFrame(std::uint32_t address, const Bytes& data) {
    Bytes frame = {'S',
                   '3',
                   static_cast<std::uint8_t>(data.size() + 5),
                   static_cast<std::uint8_t>(address >> 24),
                   static_cast<std::uint8_t>(address >> 16),
                   static_cast<std::uint8_t>(address >> 8),
                   static_cast<std::uint8_t>(address)};
    for (std::uint8_t byte : data) {
        frame.push_back(byte);
    }
    unsigned sum = 0;
    for (std::size_t i = 2; i < frame.size(); ++i) {
        sum += frame[i];
    }
    frame.push_back(static_cast<std::uint8_t>(0xFF - (sum & 0xFF)));
    frame.push_back(0x0D);
    return frame;
}

Bytes sequence(std::size_t count, std::uint8_t first) {
    Bytes bytes;
    for (std::size_t i = 0; i < count; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(first + i));
    }
    return bytes;
}

struct Upload {
    ResultCode result;
    std::vector<Bytes> frames;
    std::vector<int> positions;
    std::vector<std::string> messages;
};

Upload upload(ScriptedTerminal& terminal, std::string_view file) {
    terminal.setProgramFile(file);
    RecordingProgress progress;
    const ResultCode code = terminal.transfer(SRecord, progress);
    return {code, terminal.frames(), progress.positions, terminal.frontEnd.texts()};
}

Upload upload(std::string_view file) {
    ScriptedTerminal terminal;
    return upload(terminal, file);
}

TEST(HexPairValue, DigitsInEitherCase) {
    EXPECT_EQ(hexPairValue('0', '0'), 0);
    EXPECT_EQ(hexPairValue('F', 'F'), 255);
    EXPECT_EQ(hexPairValue('f', 'f'), 255);
    EXPECT_EQ(hexPairValue('a', 'B'), 0xAB);
    EXPECT_EQ(hexPairValue('9', 'A'), 0x9A);
    for (const char bad : {'G', 'g', ' ', '\r', ':', '@', '/'}) {
        EXPECT_EQ(hexPairValue(bad, '0'), -1) << bad;
        EXPECT_EQ(hexPairValue('0', bad), -1) << bad;
    }
}

TEST(TransferSRecordFile, WorkedExamplesGolden) {
    struct Case {
        const char* name;
        std::string file;
        std::vector<Bytes> frames;
    };
    const std::vector<Case> cases = {
        {"consecutive lines join",
         lines({"S3090000100001020304DC", "S3090000100405060708C8", "S70500000000FA"}),
         {hexBytes("53 33 0D 00 00 10 00 01 02 03 04 05 06 07 08 BE 0D"), kEndRecordBytes}},
        {"an address gap splits",
         lines({"S3090000100001020304DC", srec(3, 0x2000, hexBytes("05 06 07 08")),
                "S70500000000FA"}),
         {hexBytes("53 33 09 00 00 10 00 01 02 03 04 DC 0D"),
          recordFrame(0x2000, hexBytes("05 06 07 08")), kEndRecordBytes}},
        {"24-bit addresses widen, S9 ends",
         lines({"S206123456AABBF8", "S205123458CC90", "S9030000FC"}),
         {hexBytes("53 33 08 00 12 34 56 AA BB CC 2A 0D"), kEndRecordBytes}},
        {"only an end record", lines({"S70500000000FA"}), {kEndRecordBytes}},
        {"text after the end is never read",
         lines({"S9030000FC", "this is no record", std::string(600, 'x')}),
         {kEndRecordBytes}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const Upload result = upload(test.file);
        EXPECT_EQ(result.result, ResultCode::Done);
        EXPECT_EQ(result.frames, test.frames);
        EXPECT_TRUE(result.messages.empty());
    }
}

TEST(TransferSRecordFile, RecordsCarrySixtyFourBytesOrMore) {
    std::string file;
    for (std::uint32_t i = 0; i < 5; ++i) {
        file += srec(3, 0x1000 + 16 * i, sequence(16, static_cast<std::uint8_t>(16 * i))) + "\r\n";
    }
    file += "S70500000000FA\r\n";
    const Upload result = upload(file);
    EXPECT_EQ(result.result, ResultCode::Done);
    ASSERT_EQ(result.frames.size(), 3u);
    EXPECT_EQ(result.frames[0], recordFrame(0x1000, sequence(64, 0)));
    EXPECT_EQ(result.frames[0][2], 0x45);
    EXPECT_EQ(result.frames[0].size(), 73u);
    EXPECT_EQ(result.frames[1], recordFrame(0x1040, sequence(16, 64)));
    EXPECT_EQ(result.frames[2], kEndRecordBytes);
}

TEST(TransferSRecordFile, ProgressOncePerChunkUntilTheEnd) {
    // 20 lines of 48 bytes, one of 24 and the end record: 1000 bytes.
    std::string file;
    for (std::uint32_t i = 0; i < 20; ++i) {
        file += srec(3, 0x1000 + 16 * i, Bytes(16, 0x5A)) + "\r\n";
    }
    file += srec(3, 0x1140, Bytes(4, 0x5A)) + "\r\n";
    file += "S70500000000FA\r\n";
    ASSERT_EQ(file.size(), 1000u);
    ScriptedTerminal terminal;
    terminal.setProgramFile(file);
    RecordingProgress progress;
    EXPECT_EQ(terminal.transfer(SRecord, progress), ResultCode::Done);
    EXPECT_EQ(progress.positions, (std::vector<int>{25, 51, 76}));
    EXPECT_EQ(progress.pumps, 3);
}

TEST(TransferSRecordFile, FileWithoutEndRecordIsRefusedBeforeAnythingIsSent) {
    struct Case {
        const char* name;
        std::string file;
    };
    const std::vector<Case> cases = {
        {"empty file", ""},
        {"no end record", lines({"S3090000100001020304DC"})},
        {"only records without data", lines({srec(0, 0, textBytes("hdr")), srec(5, 1, {})})},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const Upload result = upload(test.file);
        EXPECT_EQ(result.result, ResultCode::RecordUploadError);
        EXPECT_TRUE(result.frames.empty());
        EXPECT_EQ(result.messages, std::vector<std::string>{"Format Error!"});
    }
}

// A file whose reads stop (fail, or bring nothing) before the size it reports.
class StoppingFile final : public platform::ReadableFile {
  public:
    StoppingFile(std::string text, std::int64_t reportedSize, std::int64_t stopResult)
        : text_(std::move(text)), size_(reportedSize), stop_(stopResult) {}
    std::int64_t read(std::span<std::uint8_t> buffer) override {
        ++reads;
        if (position_ >= text_.size()) {
            return stop_;
        }
        const std::size_t count = std::min(buffer.size(), text_.size() - position_);
        std::copy_n(text_.begin() + static_cast<std::ptrdiff_t>(position_), count, buffer.begin());
        position_ += count;
        return static_cast<std::int64_t>(count);
    }
    std::int64_t size() override { return size_; }
    bool rewind() override {
        position_ = 0;
        return true;
    }
    int reads = 0;

  private:
    std::string text_;
    std::int64_t size_;
    std::int64_t stop_;
    std::size_t position_ = 0;
};

TEST(TransferSRecordFile, ReadThatStopsEarlyEndsTheTransfer) {
    for (const std::int64_t stop : {std::int64_t{0}, std::int64_t{-1}}) {
        ScriptedTerminal terminal;
        auto file = std::make_unique<StoppingFile>(lines({"S3090000100001020304DC"}), 100000, stop);
        StoppingFile& watched = *file;
        terminal.session.programFile = std::move(file);
        RecordingProgress progress;
        EXPECT_EQ(terminal.transfer(SRecord, progress), ResultCode::RecordUploadError);
        EXPECT_LE(watched.reads, 3);
        EXPECT_TRUE(terminal.frames().empty());
    }
}

TEST(TransferSRecordFile, ToolchainVariantsUploadToTheRightAddresses) {
    struct Case {
        const char* name;
        std::string file;
        std::vector<Bytes> frames;
    };
    const Bytes data = sequence(8, 1);
    const std::vector<Case> cases = {
        {"header and count records are skipped",
         lines({srec(0, 0, textBytes("app.shx")), srec(3, 0x1000, data), srec(5, 1, {}),
                srec(3, 0x1008, data), srec(6, 2, {}), srec(7, 0, {})}),
         {recordFrame(0x1000, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3, 4, 5, 6, 7, 8}),
          kEndRecordBytes}},
        {"16-bit addresses widen and S9 ends",
         lines({srec(1, 0x1234, data), srec(1, 0x123C, data), srec(9, 0, {})}),
         {recordFrame(0x1234, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3, 4, 5, 6, 7, 8}),
          kEndRecordBytes}},
        {"S8 ends the program",
         lines({srec(2, 0x123456, data), srec(8, 0, {}), srec(2, 0x200000, data)}),
         {recordFrame(0x123456, data), kEndRecordBytes}},
        {"joining across S1, S2 and S3",
         lines({srec(1, 0xFFF8, data), srec(2, 0x10000, data), srec(3, 0x10008, data),
                srec(7, 0, {})}),
         {recordFrame(0xFFF8, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3, 4,
                                    5, 6, 7, 8, 1, 2, 3, 4, 5, 6, 7, 8}),
          kEndRecordBytes}},
        {"line feeds alone end lines",
         lines({srec(3, 0x1000, data), srec(7, 0, {})}, "\n"),
         {recordFrame(0x1000, data), kEndRecordBytes}},
        {"lower-case digits",
         lines({"s3090000100001020304dc", "S3090000100405060708c8", "S70500000000fa"}),
         {}},
        {"lower-case digits after an upper-case S",
         lines({"S3090000100001020304dc", "S3090000100405060708c8", "S70500000000fa"}),
         {hexBytes("53 33 0D 00 00 10 00 01 02 03 04 05 06 07 08 BE 0D"), kEndRecordBytes}},
        {"end record without a line end",
         srec(3, 0x1000, data) + "\r\n" + srec(9, 0, {}),
         {recordFrame(0x1000, data), kEndRecordBytes}},
        {"a data record without data neither splits nor joins",
         lines({srec(3, 0x1000, data), srec(3, 0x8000, {}), srec(3, 0x1008, data), srec(9, 0, {})}),
         {recordFrame(0x1000, Bytes{1, 2, 3, 4, 5, 6, 7, 8, 1, 2, 3, 4, 5, 6, 7, 8}),
          kEndRecordBytes}},
        {"empty lines are passed over",
         "\r\n" + lines({srec(3, 0x1000, data), "", srec(9, 0, {})}),
         {recordFrame(0x1000, data), kEndRecordBytes}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const Upload result = upload(test.file);
        if (test.frames.empty()) {
            // A lower-case record start is no record.
            EXPECT_EQ(result.result, ResultCode::RecordUploadError);
            EXPECT_EQ(result.messages, std::vector<std::string>{"Format Error!"});
            continue;
        }
        EXPECT_EQ(result.result, ResultCode::Done);
        EXPECT_EQ(result.frames, test.frames);
    }
}

TEST(TransferSRecordFile, BadRecordShowsFormatErrorBeforeAnythingOfItIsSent) {
    const std::string good = srec(3, 0x1000, sequence(8, 1));
    const std::string next = srec(3, 0x1008, sequence(8, 9));
    std::string badChecksum = next;
    badChecksum.back() = badChecksum.back() == '0' ? '1' : '0';
    std::string badDigit = next;
    badDigit[14] = 'G';
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"checksum", badChecksum},
        {"digit", badDigit},
        {"odd length", next.substr(0, next.size() - 1)},
        {"count too large", "S30A" + next.substr(4)},
        {"count too small", "S308" + next.substr(4)},
        {"count below the address", "S3030000FC"},
        {"type 4", "S4030000FC"},
        {"no type digit", "SX030000FC"},
        {"trailing blank", next + " "},
        {"leading blank", " " + next},
        {"too short", "S3"},
        {"end record with a bad checksum", "S70500000000FB"},
        {"line longer than any record", "S3" + std::string(600, '0')},
    };
    for (const auto& [name, badLine] : cases) {
        SCOPED_TRACE(name);
        ScriptedTerminal terminal;
        const Upload result = upload(terminal, lines({good, badLine, srec(7, 0, {})}));
        EXPECT_EQ(result.result, ResultCode::RecordUploadError);
        // The pending record of the good line is not sent either.
        EXPECT_TRUE(result.frames.empty());
        ASSERT_EQ(terminal.frontEnd.messages.size(), 1u);
        const fakes::ToldMessage& box = terminal.frontEnd.messages[0];
        EXPECT_EQ(box.text, "Format Error!");
        EXPECT_EQ(box.caption, std::optional<std::string>("Program Download"));
        EXPECT_EQ(box.icon, MessageIcon::Warning);
        EXPECT_EQ(box.buttons, MessageButtons::Ok);
        EXPECT_TRUE(box.topmost);
        EXPECT_EQ(box.owner, MessageOwner::None);
    }
}

TEST(TransferSRecordFile, LongLinesSplitAtConsecutiveAddresses) {
    const Bytes longData = sequence(250, 0);
    {
        const Upload result = upload(lines({srec(3, 0x1000, longData), srec(7, 0, {})}));
        EXPECT_EQ(result.result, ResultCode::Done);
        ASSERT_EQ(result.frames.size(), 3u);
        EXPECT_EQ(result.frames[0], recordFrame(0x1000, sequence(249, 0)));
        EXPECT_EQ(result.frames[0].size(), 258u);
        EXPECT_EQ(result.frames[1], recordFrame(0x1000 + 249, Bytes{249}));
        EXPECT_EQ(result.frames[2], kEndRecordBytes);
    }
    {
        // 63 bytes pending, then a line of 250: 249 go out, the rest (64) at the line end.
        const Upload result = upload(lines(
            {srec(3, 0x2000, sequence(63, 0)), srec(3, 0x2000 + 63, longData), srec(7, 0, {})}));
        EXPECT_EQ(result.result, ResultCode::Done);
        ASSERT_EQ(result.frames.size(), 3u);
        Bytes first = sequence(63, 0);
        first.insert(first.end(), longData.begin(), longData.begin() + 186);
        EXPECT_EQ(result.frames[0], recordFrame(0x2000, first));
        EXPECT_EQ(result.frames[1],
                  recordFrame(0x2000 + 249, Bytes(longData.begin() + 186, longData.end())));
        EXPECT_EQ(result.frames[2], kEndRecordBytes);
    }
}

TEST(TransferSRecordFile, ShortReadsGiveTheSameBytes) {
    std::string file;
    for (std::uint32_t i = 0; i < 9; ++i) {
        file += srec(3, 0x4000 + 32 * i, sequence(32, static_cast<std::uint8_t>(i))) + "\r\n";
    }
    file += srec(7, 0, {}) + "\r\n";
    const Upload whole = upload(file);
    ScriptedTerminal terminal;
    terminal.platform.fileSystem.readLimit = 7;
    const Upload pieces = upload(terminal, file);
    EXPECT_EQ(whole.result, ResultCode::Done);
    EXPECT_EQ(pieces.result, ResultCode::Done);
    EXPECT_EQ(pieces.frames, whole.frames);
    EXPECT_EQ(whole.frames.size(), 6u);
}

TEST(TransferSRecordFile, FailuresOfRecordsAndEndRecord) {
    const std::string twoRuns = lines({srec(3, 0x1000, sequence(64, 0)), srec(3, 0x3000, {1}),
                                       srec(3, 0x5000, {2}), srec(7, 0, {})});
    struct Case {
        const char* name;
        std::vector<std::string> replies;
        ResultCode expected;
        std::size_t frames;
    };
    const std::vector<Case> cases = {
        {"refused at a line end", {"FF\r"}, ResultCode::RecordUploadError, 1},
        {"refused at an address gap", {"FA\r", "FF\r"}, ResultCode::RecordUploadError, 2},
        {"refused before the end record",
         {"FA\r", "FA\r", "FF\r"},
         ResultCode::RecordUploadError,
         3},
        {"end record answered FF", {"FA\r", "FA\r", "FA\r", "FF\r"}, ResultCode::Done, 4},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ScriptedTerminal terminal;
        terminal.replies.assign(test.replies.begin(), test.replies.end());
        const Upload result = upload(terminal, twoRuns);
        EXPECT_EQ(result.result, test.expected);
        EXPECT_EQ(result.frames.size(), test.frames);
    }
}

TEST(TransferSRecordFile, FailedExchangeOfTheEndRecord) {
    ScriptedTerminal terminal;
    terminal.useNetwork();
    terminal.platform.datagramPeer.responder = [](fakes::FakeDatagramPeer& peer,
                                                  std::span<const std::uint8_t> sent) {
        if (sent[1] == '7') {
            peer.receivesFail = true;
        } else {
            peer.deliver("FA\r");
        }
    };
    terminal.setProgramFile(lines({srec(3, 0x1000, {1, 2}), srec(7, 0, {})}));
    RecordingProgress progress;
    EXPECT_EQ(terminal.transfer(SRecord, progress), ResultCode::RecordUploadError);
    EXPECT_EQ(terminal.platform.datagramPeer.sent.size(), 2u);
}

}  // namespace
}  // namespace vorlanth::readers
