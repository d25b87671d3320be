// The check before the erase: a defective file of each type sends nothing and says where and why;
// a stop asked for ends the check.
#include "readers/program_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "shell/upload_driver.h"
#include "tests/fakes/fake_platform.h"
#include "tests/unit/program_files.h"
#include "tests/unit/protocol_scripted_terminal.h"

namespace vorlanth::readers {
namespace {

using testing::bigEndian;
using testing::Bytes;
using testing::lines;
using testing::section;
using testing::srec;
using testing::operator+;
using testing::ScriptedTerminal;
using testing::textBytes;

// A BASIC program with counts first and third and length bytes in all.
Bytes basic(std::size_t first, std::size_t third, std::size_t length) {
    Bytes bytes(length, 0x42);
    const std::size_t secondCountAt = 10 + 64 * (first + (first + 1) / 2);
    if (length >= 10) {
        bytes[8] = static_cast<std::uint8_t>(first);
        bytes[9] = 0;
    }
    if (length >= secondCountAt + 2) {
        bytes[secondCountAt] = static_cast<std::uint8_t>(third);
        bytes[secondCountAt + 1] = 0;
    }
    return bytes;
}

struct Defect {
    const char* name;
    int fileType;
    Bytes file;
    std::string reason;  // a part of the reason given
    std::int64_t offset;
    std::int64_t line = 0;
    std::int64_t column = 0;
    Bytes companion = textBytes("settings");
    bool inCompanion = false;
};

std::vector<Defect> defects() {
    const std::string good = srec(3, 0x1000, {1, 2, 3, 4});  // 22 characters
    const std::string end = srec(7, 0, {});
    std::string badChecksum = good;
    badChecksum[21] = 'D';  // the checksum pair "DC" becomes "DD"
    std::string badDigit = good;
    badDigit[14] = 'G';
    std::string withNul = good;
    withNul[10] = '\0';
    const Bytes image = section(0x8000, {1, 2, 3});
    const std::size_t basicSize = 12 + 64 * (3 + 2 + 2);  // N = 3, P = 2, M = 2: 460 bytes
    std::vector<Defect> table = {
        {"S-record: empty file", SRecord, {}, "the file is empty", 0},
        {"S-record: no end record (as some converters write it)", SRecord,
         textBytes(lines({good, good})), "without an end record", 48},
        {"S-record: binary garbage", SRecord, Bytes{0x7F, 'E', 'L', 'F', 2, 1, 1, 0, '\n'},
         "starts with 'S', not byte 0x7F", 0, 1, 1},
        {"S-record: bad character", SRecord, textBytes(lines({good, badDigit, end})),
         "bad character 'G'", 24 + 14, 2, 15},
        {"S-record: NUL byte", SRecord, textBytes(lines({good, withNul, end})),
         "bad character byte 0x00", 24 + 10, 2, 11},
        {"S-record: count too large", SRecord, textBytes(lines({"S30A" + good.substr(4), end})),
         "count 0A says 10 bytes follow, the line holds 9", 2, 1, 3},
        {"S-record: count too small for the address", SRecord, textBytes(lines({"S3030000FC"})),
         "too small for an S3 record", 2, 1, 3},
        {"S-record: checksum", SRecord, textBytes(lines({good, good, badChecksum, end})),
         "checksum DD, the line sums to DC", 48 + 20, 3, 21},
        {"S-record: S4 record", SRecord, textBytes(lines({good, "S4030000FC", end})),
         "no record type S4", 25, 2, 2},
        {"S-record: odd-length line", SRecord, textBytes(lines({good.substr(0, 21), end})),
         "odd number of characters (21)", 20, 1, 21},
        {"S-record: CR-only line ends", SRecord, textBytes(lines({good, good, end}, "\r")),
         "bad character byte 0x0D", 22, 1, 23},
        {"S-record: a 100 kB line", SRecord, textBytes("S3" + std::string(100000, '0') + "\r\n"),
         "line longer than 514 characters", 514, 1, 515},
        {"S-record: data past 4 GiB", SRecord,
         textBytes(lines({srec(3, 0xFFFFFFFE, {1, 2, 3}), end})), "past address 0xFFFFFFFF", 2, 1,
         3},
        {"S-record: a line without its record start", SRecord, textBytes(lines({good, ":10", end})),
         "starts with 'S', not ':'", 24, 2, 1},

        {"binary image: empty file", BinaryImage, {}, "the file is empty", 0},
        {"binary image: no start mark", BinaryImage, textBytes("TOLVEXSTARX") + Bytes(20, 0),
         "start mark \"TOLVEXSTART\" is missing", 0},
        {"binary image: last section cut short", BinaryImage,
         image + textBytes("TOLVEXSTART") + bigEndian(0x9000) + bigEndian(200) + Bytes(10, 0x22),
         "section 2 at byte 31: the section declares 200 data bytes, the file holds 10", 31},
        {"binary image: section past 4 GiB", BinaryImage, section(0xFFFFFF00, Bytes(0x101, 0x22)),
         "its 257 bytes at 0xFFFFFF00 run past address 0xFFFFFFFF", 0},
        {"binary image: end mark missing", BinaryImage, Bytes(image.begin(), image.end() - 9),
         "end mark \"TOLVEXEND\" is missing at byte 22", 22},
        {"binary image: end mark wrong", BinaryImage,
         Bytes(image.begin(), image.end() - 1) + textBytes("X"),
         "end mark \"TOLVEXEND\" is wrong at byte 22", 22},
        {"binary image: bytes after the last section", BinaryImage, image + textBytes("xy"),
         "section 2 at byte 31: the start mark", 31},

        {"BASIC: empty program", Basic, {}, "the file is empty", 0},
        {"BASIC: header cut short", Basic, Bytes(5, 1), "8-byte header is cut short", 5},
        {"BASIC: first count cut short", Basic, Bytes(9, 1), "first count at byte 8 is cut short",
         9},
        {"BASIC: second count beyond the file", Basic, basic(3, 0, 300),
         "the first count 3 announces 5 pieces of 64 bytes and the second count after them: at "
         "least 332 bytes, the file holds 300",
         8},
        {"BASIC: one byte short", Basic, basic(3, 2, basicSize - 1),
         "the counts 3 and 2 announce 460 bytes, the file holds 459: piece 2 of the last 2, at "
         "byte 396, is cut short",
         330},
        {"BASIC: empty companion",
         Basic,
         basic(0, 0, 12),
         "companion settings file is empty",
         0,
         0,
         0,
         {},
         true},
    };
    // A binary image cut inside every field of its section header.
    const Bytes header = textBytes("TOLVEXSTART") + bigEndian(0x8000) + bigEndian(3);
    for (std::size_t cut = 1; cut < header.size(); ++cut) {
        const char* field = cut < 11 ? "start mark" : cut < 15 ? "address" : "length";
        table.push_back({"binary image: header cut", BinaryImage,
                         Bytes(header.begin(), header.begin() + static_cast<std::ptrdiff_t>(cut)),
                         std::string("ends inside the section's ") + field,
                         static_cast<std::int64_t>(cut)});
    }
    return table;
}

// Every defect is found by the check before the terminal is touched: not even the first
// carriage return goes out, and the failure says where and why.
TEST(CheckBeforeErase, DefectiveFilesSendNothingAndSayWhereAndWhy) {
    for (const Defect& defect : defects()) {
        SCOPED_TRACE(defect.name);
        ScriptedTerminal terminal;
        terminal.session.settings.fileType = defect.fileType;
        terminal.session.settings.programPath.assign("prog.file");
        terminal.session.companionName.assign("prog.ini");
        terminal.setProgramFile(defect.file);
        terminal.setCompanionFile(defect.companion);
        const ResultCode result = shell::uploadProgram(terminal.session);
        EXPECT_EQ(result,
                  defect.fileType == SRecord ? ResultCode::RecordUploadError : ResultCode::Failed);
        EXPECT_TRUE(terminal.frames().empty());
        EXPECT_TRUE(terminal.platform.serialLine.writeTimeouts.empty());
        EXPECT_EQ(terminal.frontEnd.texts(), std::vector<std::string>{"Format Error!"});
        const FailureDetail& failure = terminal.session.failure;
        EXPECT_EQ(failure.kind, FailureKind::FileFormat);
        EXPECT_NE(failure.reason.find(defect.reason), std::string::npos) << failure.reason;
        EXPECT_EQ(failure.offset, defect.offset);
        EXPECT_EQ(failure.line, defect.line);
        EXPECT_EQ(failure.column, defect.column);
        if (failure.line > 0 && failure.offset <= static_cast<std::int64_t>(defect.file.size())) {
            // Offset, line and column name one character: the one an editor and a hex viewer show.
            const auto at = defect.file.begin() + failure.offset;
            const auto lineStart =
                std::find(std::make_reverse_iterator(at), defect.file.rend(), '\n').base();
            EXPECT_EQ(std::count(defect.file.begin(), at, '\n') + 1, failure.line);
            EXPECT_EQ(at - lineStart + 1, failure.column);
        }
        EXPECT_EQ(failure.object, defect.inCompanion ? "prog.ini" : "prog.file");
        ASSERT_EQ(terminal.frontEnd.messages.size(), 1u);
        EXPECT_EQ(terminal.frontEnd.messages[0].detail.reason, failure.reason);
    }
}

// A stop the user asks for ends the check at once: nothing is sent and nothing is blamed on
// the file.
TEST(CheckBeforeErase, StopAskedForEndsTheCheck) {
    ScriptedTerminal terminal;
    terminal.session.settings.fileType = BinaryImage;
    terminal.setProgramFile(section(0x8000, Bytes(4096, 0x11)));
    terminal.platform.stopSignal = 2;
    EXPECT_EQ(shell::uploadProgram(terminal.session), ResultCode::Failed);
    EXPECT_TRUE(terminal.frames().empty());
    EXPECT_TRUE(terminal.frontEnd.texts().empty());
    EXPECT_NE(terminal.session.failure.kind, FailureKind::FileFormat);
}

// What a decoder hands on, recorded; no link, no terminal.
struct RecordingSink final : ProgramSink {
    bool record(std::uint32_t address, std::span<const std::uint8_t> data) override {
        records.emplace_back(address, Bytes(data.begin(), data.end()));
        return true;
    }
    bool block(std::span<const std::uint8_t> data) override {
        blocks.push_back(data.size());
        return true;
    }
    void covers(std::uint32_t address, std::uint64_t length) override {
        spans.emplace_back(address, length);
    }
    void progress(std::uint64_t done, std::uint64_t) override { points.push_back(done); }

    std::vector<std::pair<std::uint32_t, Bytes>> records;
    std::vector<std::size_t> blocks;
    std::vector<std::pair<std::uint32_t, std::uint64_t>> spans;
    std::vector<std::uint64_t> points;
};

DecodeResult decode(int fileType, const Bytes& file, RecordingSink& sink,
                    const Bytes& companion = textBytes("settings")) {
    fakes::FakeFileSystem files;
    files.files["program"] = file;
    files.files["companion"] = companion;
    auto program = files.openForReading("program");
    auto settings = files.openForReading("companion");
    return decodeProgram(fileType, *program, settings.get(), sink);
}

TEST(ProgramDecoders, HandOnWhatWillBeSentWithoutALink) {
    {
        // Data ending at the top of the address space never joins data at address 0.
        RecordingSink sink;
        const std::string text =
            lines({srec(3, 0xFFFFFFFC, {1, 2, 3, 4}), srec(3, 0, {5, 6}), srec(7, 0, {}), "notes"});
        const DecodeResult result = decode(SRecord, textBytes(text), sink);
        EXPECT_EQ(result.status, DecodeStatus::Complete);
        EXPECT_EQ(sink.records, (std::vector<std::pair<std::uint32_t, Bytes>>{
                                    {0xFFFFFFFC, {1, 2, 3, 4}}, {0, {5, 6}}}));
        EXPECT_EQ(sink.spans,
                  (std::vector<std::pair<std::uint32_t, std::uint64_t>>{{0xFFFFFFFC, 4}, {0, 2}}));
        EXPECT_EQ(result.trailingBytes, 7u);  // "notes" and its line end are never sent
    }
    {
        // A section reaching exactly to the top of the address space is fine.
        RecordingSink sink;
        const DecodeResult result = decode(BinaryImage, section(0xFFFFFFFE, {7, 8}), sink);
        EXPECT_EQ(result.status, DecodeStatus::Complete);
        EXPECT_EQ(sink.records,
                  (std::vector<std::pair<std::uint32_t, Bytes>>{{0xFFFFFFFE, {7, 8}}}));
        EXPECT_EQ(sink.spans,
                  (std::vector<std::pair<std::uint32_t, std::uint64_t>>{{0xFFFFFFFE, 2}}));
    }
    {
        RecordingSink sink;
        const DecodeResult result = decode(Basic, basic(1, 1, 12 + 3 * 64 + 5), sink);
        EXPECT_EQ(result.status, DecodeStatus::Complete);
        EXPECT_EQ(sink.blocks, (std::vector<std::size_t>{100, 8, 2, 64, 64, 2, 64}));
        EXPECT_EQ(sink.points, (std::vector<std::uint64_t>{74, 138, 204}));
        EXPECT_EQ(result.trailingBytes, 5u);
    }
}

// A sink that refuses stops the decoder at once.
TEST(ProgramDecoders, StopAtOnceWhenTheSinkRefuses) {
    struct Refusing final : ProgramSink {
        bool record(std::uint32_t, std::span<const std::uint8_t>) override { return ++seen < 2; }
        bool block(std::span<const std::uint8_t>) override { return ++seen < 2; }
        void progress(std::uint64_t, std::uint64_t) override {}
        int seen = 0;
    };
    Refusing refusing;
    fakes::FakeFileSystem files;
    files.files["image"] = section(0x10, Bytes(300, 1));
    auto image = files.openForReading("image");
    EXPECT_EQ(decodeBinaryImage(*image, refusing).status, DecodeStatus::Stopped);
    EXPECT_EQ(refusing.seen, 2);
}

}  // namespace
}  // namespace vorlanth::readers
