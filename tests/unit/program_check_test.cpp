// --check's report of a program file: its type from the extension, ranges, warnings, the time on
// the line, and the outcome for bad and missing files.
#include "shell/program_check.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "readers/file_types.h"
#include "tests/fakes/fake_platform.h"
#include "tests/unit/program_files.h"

namespace vorlanth::shell {
namespace {

using fakes::Bytes;
using fakes::bytesOf;

// An S3 line of length bytes of data at address, with its line end.
std::string s3(std::uint32_t address, std::size_t length) {
    return testing::srec(3, address, Bytes(length, 0x5A)) + "\r\n";
}

TEST(FileTypeFromExtension, NamesTheLoadersTypes) {
    EXPECT_EQ(readers::fileTypeFromExtension("app.SHX"), SRecord);
    EXPECT_EQ(readers::fileTypeFromExtension("dir.v2/app.s19"), SRecord);
    EXPECT_EQ(readers::fileTypeFromExtension("app.Qbx"), Basic);
    EXPECT_EQ(readers::fileTypeFromExtension("C:\\out\\app.bin"), BinaryImage);
    EXPECT_EQ(readers::fileTypeFromExtension("dir.bin/app"), std::nullopt);
    EXPECT_EQ(readers::fileTypeFromExtension("app.hex"), std::nullopt);
}

// Ranges merge where data touch; data landing on earlier data, data out of order and text
// after the end are warnings, not errors; the line time follows the bytes on the line.
TEST(CheckProgramFile, RangesWarningsAndLineTime) {
    fakes::FakePlatform platform;
    platform.fileSystem.files["app.shx"] = bytesOf(s3(0x2000, 16) + s3(0x2010, 16) + s3(0x1000, 8) +
                                                   s3(0x2008, 4) + "S70500000000FA\r\nmore\r\n");
    const ProgramReport report = checkProgramFile(platform, "app.shx", SRecord);
    ASSERT_EQ(report.outcome, CheckOutcome::Valid);
    ASSERT_EQ(report.ranges.size(), 2u);
    EXPECT_EQ(report.ranges[0].first, 0x1000u);
    EXPECT_EQ(report.ranges[0].end, 0x1008u);
    EXPECT_EQ(report.ranges[1].first, 0x2000u);
    EXPECT_EQ(report.ranges[1].end, 0x2020u);
    // 0x2000..0x201F joined, then 0x1000 and 0x2008 each split off a record of their own.
    EXPECT_EQ(report.records, 3u);
    EXPECT_EQ(report.dataBytes, 44u);
    ASSERT_EQ(report.warnings.size(), 3u);
    EXPECT_EQ(report.warnings[0],
              "1 part(s) overlap data earlier in the file (first at 0x00002008): the later data "
              "win on the terminal");
    EXPECT_EQ(report.warnings[1],
              "1 part(s) out of address order (first at 0x00001000 after data up to 0x0000201F)");
    EXPECT_EQ(report.warnings[2], "6 byte(s) after the end record are never sent");
    // Three records of 12 + data bytes, the end record and its answer.
    EXPECT_EQ(report.lineBytes, 3u * 12 + 44 + 12);
    EXPECT_DOUBLE_EQ(lineSeconds(report, 9600), 92.0 * 10 / 9600);
}

TEST(CheckProgramFile, OutcomesForBadAndMissingFiles) {
    fakes::FakePlatform platform;
    auto& files = platform.fileSystem.files;
    files["bad.shx"] = bytesOf(s3(0x1000, 4));
    files["app.qbx"] = Bytes(12, 0);
    files["long.qbx"] = Bytes(12, 0);
    files["long.ini"] = Bytes(300, 'x');

    const ProgramReport bad = checkProgramFile(platform, "bad.shx", SRecord);
    EXPECT_EQ(bad.outcome, CheckOutcome::NotValid);
    EXPECT_EQ(bad.error.object, "bad.shx");
    EXPECT_EQ(bad.error.reason, "the file ends without an end record (S7, S8 or S9)");

    const ProgramReport noCompanion = checkProgramFile(platform, "app.qbx", Basic);
    EXPECT_EQ(noCompanion.outcome, CheckOutcome::CannotOpen);
    EXPECT_EQ(noCompanion.error.object, "app.ini");

    EXPECT_EQ(checkProgramFile(platform, "none.bin", BinaryImage).outcome,
              CheckOutcome::CannotOpen);

    const ProgramReport longCompanion = checkProgramFile(platform, "long.qbx", Basic);
    EXPECT_EQ(longCompanion.outcome, CheckOutcome::Valid);
    EXPECT_EQ(longCompanion.blocks, 4u);
    EXPECT_EQ(longCompanion.warnings,
              std::vector<std::string>{"only the first 100 of the companion's 300 bytes are sent"});
}

}  // namespace
}  // namespace vorlanth::shell
