// Tests of the byte-level framing: where frames end in a serial stream, what a datagram
// is, and how records, blocks and answers are taken apart and put together.
#include "framing.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace vorlanth::termsim {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// "S3" record at 0x00001000 holding 01 02 03, checksum and CR.
const Bytes kGoldenRecord{0x53, 0x33, 0x08, 0x00, 0x00, 0x10, 0x00, 0x01, 0x02, 0x03, 0xE1, 0x0D};

TEST(Framing, CutsTheFirstFrameOfAStream) {
    using Result = StreamCut::Result;
    struct Case {
        const char* name;
        Bytes input;
        size_t blockSize;
        bool lineQuiet;
        Result result;
        FrameKind kind;
        size_t length;
    };
    Bytes twoRecords = kGoldenRecord;
    twoRecords.insert(twoRecords.end(), kGoldenRecord.begin(), kGoldenRecord.end());
    const Case cases[] = {
        {"command", bytesOf(":ERASE\r"), 0, false, Result::Frame, FrameKind::Command, 7},
        {"command with more behind", bytesOf("\rMERI"), 0, false, Result::Frame, FrameKind::Command,
         1},
        {"line not ended", bytesOf(":ERA"), 0, false, Result::NeedMore, FrameKind::Command, 0},
        {"unprintable line", Bytes{'A', 0x01, '\r'}, 0, false, Result::Frame, FrameKind::Damaged,
         3},
        {"endless text", Bytes(33, 'x'), 0, false, Result::Undelimited, FrameKind::Command, 0},
        {"record by its count", twoRecords, 0, false, Result::Frame, FrameKind::Record, 12},
        {"record cut short", Bytes(kGoldenRecord.begin(), kGoldenRecord.begin() + 11), 0, false,
         Result::NeedMore, FrameKind::Command, 0},
        {"record count below 5", Bytes{'S', '3', 0x04, 0x00}, 0, false, Result::Undelimited,
         FrameKind::Command, 0},
        {"block of the due size", Bytes(70, 0x41), 64, false, Result::Frame, FrameKind::Block, 64},
        {"block not yet whole", Bytes(10, 0x41), 64, false, Result::NeedMore, FrameKind::Command,
         0},
        {"fresh start where a count is due", bytesOf("TOLVEX\r"), 2, false, Result::Frame,
         FrameKind::Command, 7},
        {"start of it: wait", bytesOf("TO"), 2, false, Result::NeedMore, FrameKind::Command, 0},
        {"start of it, line quiet: a count", bytesOf("TO"), 2, true, Result::Frame,
         FrameKind::Block, 2},
        {"count unlike it", Bytes{3, 0}, 2, false, Result::Frame, FrameKind::Block, 2},
        {"fresh start where a piece is due", bytesOf("TOLVEX\r"), 64, false, Result::NeedMore,
         FrameKind::Command, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const StreamCut cut = cutStreamFrame(c.input, c.blockSize, c.lineQuiet);
        EXPECT_EQ(cut.result, c.result);
        if (c.result == Result::Frame) {
            EXPECT_EQ(cut.kind, c.kind);
            EXPECT_EQ(cut.length, c.length);
        }
    }
}

TEST(Framing, DatagramsAreClassifiedWhole) {
    EXPECT_EQ(classifyDatagram(bytesOf("TOLVEX\r"), 0), FrameKind::Command);
    EXPECT_EQ(classifyDatagram(bytesOf("TOLVEX\r"), 101), FrameKind::Command);
    EXPECT_EQ(classifyDatagram(Bytes(101, 'S'), 101), FrameKind::Block);
    EXPECT_EQ(classifyDatagram(kGoldenRecord, 0), FrameKind::Record);
    EXPECT_EQ(classifyDatagram(kGoldenRecord, 64), FrameKind::Damaged);
    EXPECT_EQ(classifyDatagram(Bytes{}, 0), FrameKind::Damaged);
    EXPECT_TRUE(isDataFrame(FrameKind::Record, kGoldenRecord));
    EXPECT_FALSE(isDataFrame(FrameKind::Record, Bytes{'S', '7'}));
    EXPECT_TRUE(isDataFrame(FrameKind::Block, Bytes{1, 2}));
    EXPECT_FALSE(isDataFrame(FrameKind::Command, bytesOf("\r")));
}

TEST(Framing, RecordsAreCheckedAndTakenApart) {
    const DecodedRecord good = decodeRecord(kGoldenRecord);
    EXPECT_EQ(good.problem, "");
    EXPECT_FALSE(good.endRecord);
    EXPECT_EQ(good.address, 0x1000u);
    EXPECT_EQ(Bytes(good.data.begin(), good.data.end()), (Bytes{1, 2, 3}));
    const Bytes endRecord{0x53, 0x37, 0x05, 0x00, 0x00, 0x00, 0x00, 0xFA, 0x0D};
    EXPECT_TRUE(decodeRecord(endRecord).endRecord);

    struct Case {
        size_t byte;
        uint8_t value;
        std::string_view problem;
    };
    const Case cases[] = {{2, 0x09, "length does not match count"},
                          {1, '5', "unknown type"},
                          {11, 0x0A, "no CR"},
                          {10, 0xE2, "bad checksum"},
                          {8, 0x7F, "bad checksum"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.byte);
        Bytes frame = kGoldenRecord;
        frame[c.byte] = c.value;
        const DecodedRecord damaged = decodeRecord(frame);
        EXPECT_EQ(damaged.problem, c.problem);
        EXPECT_TRUE(damaged.data.empty());
    }
    EXPECT_EQ(decodeRecord(Bytes{'S', '3', 0x05}).problem, "length does not match count");
}

TEST(Framing, BlocksAndAnswersOnTheWire) {
    const Bytes block{0x10, 0x20, 0xCF};  // 0x30 summed, complement 0xCF
    const DecodedBlock checked = decodeBlock(block, true);
    EXPECT_TRUE(checked.good);
    EXPECT_EQ(checked.payload.size(), 2u);
    EXPECT_FALSE(decodeBlock(Bytes{0x10, 0x20, 0xCE}, true).good);
    EXPECT_EQ(decodeBlock(block, false).payload.size(), 3u);

    EXPECT_EQ(encodeAnswer("ACK1"), bytesOf("ACK1\r"));
    EXPECT_EQ(encodeAnswer(""), bytesOf("\r"));
    using Pieces = std::vector<Bytes>;
    EXPECT_EQ(cutIntoPieces(bytesOf("ACK1\r"), 1), (Pieces{bytesOf("ACK1\r")}));
    EXPECT_EQ(cutIntoPieces(bytesOf("ACK1\r"), 2), (Pieces{bytesOf("AC"), bytesOf("K1\r")}));
    EXPECT_EQ(cutIntoPieces(bytesOf("FA\r"), 3),
              (Pieces{bytesOf("F"), bytesOf("A"), bytesOf("\r")}));
    EXPECT_EQ(cutIntoPieces(bytesOf("A\r"), 4), (Pieces{bytesOf("A"), bytesOf("\r")}));
    EXPECT_EQ(cutIntoDatagrams(bytesOf("ACK1\r"), 3), (Pieces{bytesOf("ACK"), bytesOf("1\r")}));
    EXPECT_EQ(cutIntoDatagrams(Bytes{}, 3), Pieces{});
}

}  // namespace
}  // namespace vorlanth::termsim
