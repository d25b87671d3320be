// Tests of the memory image and of the program file readers used by --expect.
#include "program_files.h"
#include "memory_image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorlanth::termsim {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

TEST(MemoryImage, RendersGapsAsErasedAndRoundTripsThroughSRecords) {
    MemoryImage image;
    ASSERT_TRUE(image.write(0x1002, Bytes{0xAA, 0xBB}));
    ASSERT_TRUE(image.write(0x1000, Bytes{0x11}));
    ASSERT_TRUE(image.write(0x2FFF, Bytes{0x01, 0x02}));  // crosses a page boundary
    ASSERT_EQ(image.writtenCount(), 5u);
    EXPECT_EQ(image.lowest(), 0x1000u);
    EXPECT_EQ(image.highest(), 0x3000u);
    const auto runs = image.runs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[1].address, 0x1002u);
    EXPECT_EQ(runs[2].bytes, (Bytes{0x01, 0x02}));

    const auto binary = renderBinaryImage(image);
    ASSERT_TRUE(binary);
    ASSERT_EQ(binary->size(), 0x2001u);
    EXPECT_EQ((*binary)[0], 0x11);
    EXPECT_EQ((*binary)[1], 0xFF);
    EXPECT_EQ((*binary)[2], 0xAA);
    EXPECT_EQ((*binary)[0x2000], 0x02);

    const std::string text = renderSRecordText(image);
    EXPECT_NE(text.find("S30700001002AABB81\r\n"), std::string::npos) << text;
    const ExpectedImage back = readSRecordProgram(bytesOf(text));
    ASSERT_EQ(back.error, "");
    EXPECT_TRUE(back.warnings.empty());
    EXPECT_EQ(compareImages(back.image, image), "");

    MemoryImage far;
    ASSERT_TRUE(far.write(0, Bytes{1}));
    ASSERT_TRUE(far.write(0xF0000000u, Bytes{2}));
    EXPECT_FALSE(renderBinaryImage(far));  // would be 3.75 GiB
}

// Flash ends at 0xFFFFFFFF: data up to it is kept, data past it refused whole, never wrapped
// to address 0.
TEST(MemoryImage, RefusesDataPastTheLastAddress) {
    MemoryImage image;
    EXPECT_TRUE(image.write(0xFFFFFFFEu, Bytes{1, 2}));
    EXPECT_FALSE(image.write(0xFFFFFFFFu, Bytes{3, 4}));
    EXPECT_FALSE(image.write(0xFFFFF000u, Bytes(0x1001, 5)));
    EXPECT_EQ(image.writtenCount(), 2u);
    EXPECT_EQ(image.read(0xFFFFFFFFu), 2);
    EXPECT_FALSE(image.read(0));

    // A file that says so is refused as the loader refuses it.
    const std::string text = "S307000000001234B2\r\nS309FFFFFFFE01020304F1\r\nS70500000000FA\r\n";
    EXPECT_NE(readSRecordProgram(bytesOf(text)).error.find("past 0xFFFFFFFF"), std::string::npos);
}

TEST(SRecordProgram, AcceptsTheCommonVariants) {
    struct Case {
        const char* name;
        std::string text;
        uint32_t address;
        Bytes data;
    };
    const Case cases[] = {
        {"CR LF, S3, S7",
         "S0030000FC\r\nS3090000100001020304DC\r\nS70500000000FA\r\n",
         0x1000,
         {1, 2, 3, 4}},
        {"LF only, lower case", "s3090000100001020304dc\ns70500000000fa\n", 0x1000, {1, 2, 3, 4}},
        {"S2 and S8", "S206123456AABBF8\nS804000000FB\n", 0x123456, {0xAA, 0xBB}},
        {"S1, S5 and S9, blank line, trailing blank",
         "S1051000A1B297 \n\nS5030001FB\nS9030000FC\n",
         0x1000,
         {0xA1, 0xB2}},
        {"text after the end",
         "S30600000010AB3E\r\nS70500000000FA\r\nnot an S-record\r\n",
         0x10,
         {0xAB}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ExpectedImage result = readSRecordProgram(bytesOf(c.text));
        ASSERT_EQ(result.error, "");
        EXPECT_TRUE(result.warnings.empty());
        ASSERT_EQ(result.image.writtenCount(), c.data.size());
        for (size_t i = 0; i < c.data.size(); ++i) {
            EXPECT_EQ(result.image.read(static_cast<uint32_t>(c.address + i)), c.data[i]);
        }
    }
}

TEST(SRecordProgram, RefusesMalformedText) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"S3090000100001020304DC\r\n", "no end record"},
        {"S30900001000010203G4DC\r\nS70500000000FA\r\n", "line 1: bad hexadecimal"},
        {"S30A00001000010203\r\nS70500000000FA\r\n", "line 1: count does not match"},
        {"S3090000100001020304DC\r\nX70500000000FA\r\n", "line 2: not an S-record"},
        {"S4090000100001020304DC\r\n", "unknown record type S4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const ExpectedImage result = readSRecordProgram(bytesOf(c.text));
        EXPECT_NE(result.error.find(c.error), std::string::npos) << result.error;
    }
    const ExpectedImage badSum =
        readSRecordProgram(bytesOf("S3090000100001020304DD\nS7050000000FA\n"));
    EXPECT_FALSE(badSum.warnings.empty());
}

Bytes section(uint32_t address, const Bytes& data, uint32_t declared = UINT32_MAX) {
    const uint32_t length = declared == UINT32_MAX ? static_cast<uint32_t>(data.size()) : declared;
    Bytes bytes = bytesOf("TOLVEXSTART");
    for (uint32_t value : {address, length}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<uint8_t>(value >> shift));
        }
    }
    bytes.insert(bytes.end(), data.begin(), data.end());
    if (declared == UINT32_MAX) {
        const Bytes end = bytesOf("TOLVEXEND");
        bytes.insert(bytes.end(), end.begin(), end.end());
    }
    return bytes;
}

TEST(SectionedImage, ReadsSectionsAndComparesAsFlash) {
    Bytes file = section(0x8000, {1, 2, 3});
    const Bytes second = section(0x9000, Bytes(300, 0xFF));
    file.insert(file.end(), second.begin(), second.end());
    const ExpectedImage expected = readSectionedImage(file);
    ASSERT_EQ(expected.error, "");
    EXPECT_EQ(expected.image.writtenCount(), 303u);

    // The loader leaves 0xFF runs out past the first 256 bytes: those read as erased.
    MemoryImage received;
    ASSERT_TRUE(received.write(0x8000, Bytes{1, 2, 3}));
    ASSERT_TRUE(received.write(0x9000, Bytes(256, 0xFF)));
    EXPECT_EQ(compareImages(expected.image, received), "");

    ASSERT_TRUE(received.write(0x8001, Bytes{0x22}));
    ASSERT_TRUE(received.write(0xA000, Bytes{0x00}));
    const std::string difference = compareImages(expected.image, received);
    EXPECT_NE(difference.find("at 0x00008001: file has 0x02, terminal has 0x22"), std::string::npos)
        << difference;
    EXPECT_NE(difference.find("2 differing bytes"), std::string::npos) << difference;

    MemoryImage missing;
    ASSERT_TRUE(missing.write(0x8000, Bytes{1, 2}));
    EXPECT_NE(compareImages(expected.image, missing).find("terminal has nothing (erased 0xFF)"),
              std::string::npos);
}

TEST(SectionedImage, ReportsBrokenFiles) {
    struct Case {
        const char* name;
        Bytes file;
        const char* error;
    };
    Bytes trailing = section(0x10, {1});
    trailing.push_back('x');
    Bytes noEnd = section(0x10, {1, 2});
    noEnd.erase(noEnd.end() - 3, noEnd.end());  // resize() trips a false bounds warning
    const Case cases[] = {
        {"empty", {}, "empty file"},
        {"no start mark", bytesOf("TOLVEXSTARX\0\0\0\0\0\0\0\0"), "no \"TOLVEXSTART\""},
        {"bytes after the last section", trailing, "section 2 at file offset 29"},
        {"end mark cut", noEnd, "no \"TOLVEXEND\""},
        {"header cut", bytesOf("TOLVEXSTART\0\0"), "header cut short"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NE(readSectionedImage(c.file).error.find(c.error), std::string::npos)
            << readSectionedImage(c.file).error;
    }
    // Data cut short: what is there counts, with a warning.
    const ExpectedImage cut = readSectionedImage(section(0x20, {7, 8}, 10));
    EXPECT_EQ(cut.error, "");
    EXPECT_EQ(cut.image.writtenCount(), 2u);
    EXPECT_EQ(cut.warnings.size(), 1u);
}

TEST(BasicProgram, LaysOutBlocksFromTheCounts) {
    struct Case {
        uint16_t first;
        uint16_t third;
        size_t size;
    };
    // N = 3 gives P = 2: 12 + 64 * (3 + 2 + 2) = 460 bytes; N = 0 and M = 0 gives 12.
    const Case cases[] = {{3, 2, 460}, {0, 0, 12}, {1, 0, 140}, {300, 1, 12 + 64 * 451}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.first);
        const size_t second = (c.first + 1u) / 2;
        Bytes program = bytesOf("HEADER01");
        program.push_back(static_cast<uint8_t>(c.first));
        program.push_back(static_cast<uint8_t>(c.first >> 8));
        program.resize(program.size() + 64 * (c.first + second), 0x5A);
        program.push_back(static_cast<uint8_t>(c.third));
        program.push_back(static_cast<uint8_t>(c.third >> 8));
        program.resize(program.size() + 64 * c.third, 0xA5);
        ASSERT_EQ(program.size(), c.size);
        const ExpectedBasic expected = readBasicProgram(program, bytesOf("Key=1"));
        ASSERT_EQ(expected.error, "");
        EXPECT_EQ(expected.program, program);
        EXPECT_EQ(compareBasic(expected, program, expected.companion), "");

        Bytes longer = program;
        longer.push_back(0);
        EXPECT_EQ(readBasicProgram(longer, {}).warnings.size(), 1u);
        Bytes shorter(program.begin(), program.end() - 1);
        EXPECT_NE(readBasicProgram(shorter, {}).error, "");
    }
}

TEST(BasicProgram, CompanionIsPaddedAndDifferencesAreNamed) {
    const Bytes program = {'H', 'E', 'A', 'D', 'E', 'R', '0', '1', 0, 0, 0, 0};
    const ExpectedBasic expected = readBasicProgram(program, Bytes(300, 0x31));
    ASSERT_EQ(expected.companion.size(), 100u);
    EXPECT_EQ(expected.companion, Bytes(100, 0x31));
    const ExpectedBasic small = readBasicProgram(program, bytesOf("ab"));
    EXPECT_EQ(small.companion[1], 'b');
    EXPECT_EQ(small.companion[2], 0);

    Bytes wrong = program;
    wrong[9] = 1;
    EXPECT_NE(
        compareBasic(expected, wrong, expected.companion).find("program differs at file offset 9"),
        std::string::npos);
    EXPECT_NE(
        compareBasic(expected, program, small.companion).find("companion block differs at byte 0"),
        std::string::npos);
    EXPECT_NE(compareBasic(expected, Bytes(program.begin(), program.end() - 2), expected.companion)
                  .find("program length differs"),
              std::string::npos);
}

TEST(BasicProgram, CompanionPathReplacesFromTheFirstDotOfTheName) {
    EXPECT_EQ(companionPathFor("/data/app.qbx"), "/data/app.ini");
    EXPECT_EQ(companionPathFor("/data/app.v2.qbx"), "/data/app.ini");
    EXPECT_EQ(companionPathFor("/old.dir/app.qbx"), "/old.dir/app.ini");
    EXPECT_EQ(companionPathFor("C:\\old.dir\\app.qbx"), "C:\\old.dir\\app.ini");
    EXPECT_EQ(companionPathFor("/data/app"), "/data/app.ini");
}

}  // namespace
}  // namespace vorlanth::termsim
