// The program's SHA-256: taken on the check pass's own reads (each byte read once) for --check,
// the fleet list and an upload, against digests computed outside the loader; and a program that
// is not the expected one refused before anything is sent.
#include "shell/program_digest.h"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "shell/main_loop.h"
#include "shell/program_check.h"
#include "shell/upload_driver.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording_front_end.h"
#include "tests/unit/protocol_scripted_terminal.h"

namespace vorlanth::shell {
namespace {

using fakes::Bytes;
using fakes::bytesOf;

// The digest as text, or "none".
std::string hexOf(const std::optional<platform::Sha256Digest>& digest) {
    return digest ? platform::sha256Hex(*digest) : "none";
}

// An S1 record of 16 zero bytes at address 0, its line end included (44 bytes).
const std::string kZeroRecord = "S1130000" + std::string(32, '0') + "EC\r\n";

// A BASIC program: header, first count 1 (two pieces), second count 1 (one piece), five bytes
// after its end; 209 bytes.
Bytes basicProgram() {
    Bytes bytes = bytesOf("QBXHEAD1");
    bytes.insert(bytes.end(), {1, 0});
    for (int i = 0; i < 128; ++i) {
        bytes.push_back(static_cast<std::uint8_t>(i));
    }
    bytes.insert(bytes.end(), {1, 0});
    for (int i = 0; i < 64; ++i) {
        bytes.push_back(static_cast<std::uint8_t>((200 + i) & 0xFF));
    }
    const Bytes tail = bytesOf("tail!");
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

struct DigestCase {
    const char* name;
    int fileType;
    Bytes program;
    std::optional<Bytes> companion;
    bool valid;
    // From sha256sum over the same bytes, written out by a script.
    const char* programSha256;
    const char* companionSha256;  // "none" without a companion
};

std::vector<DigestCase> digestCases() {
    std::string large;
    for (int i = 0; i < 300; ++i) {
        large += kZeroRecord;
    }
    // 13,200 bytes of records, the end record, then 5,000 bytes the decoder never reads: more
    // than the decoder's 256-byte chunks and the digest's own 4 KiB reads of what is left.
    large += "S9030000FC\r\n" + std::string(5000, '#');
    return {
        {"an empty file (not valid, but read to its end)",
         SRecord,
         {},
         std::nullopt,
         false,
         "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
         "none"},
        {"one record, read in one piece", SRecord,
         bytesOf("S3090000100001020304DC\r\nS70500000000FA\r\n"), std::nullopt, true,
         "54f85d9a20d8b2ecee8b0ba0a07799a8d0a16fbd649e8cd8ce342ec6e3efae70", "none"},
        {"a file larger than the read buffer, text after its end record", SRecord, bytesOf(large),
         std::nullopt, true, "4d6daeaf04c9818d9439c2e851a6b6ce1891d03626600cc689f7a9cda3eb6c27",
         "none"},
        {"a BASIC program with bytes after its end, and a companion longer than its block", Basic,
         basicProgram(), bytesOf("[Settings]\r\n" + std::string(238, 'v')), true,
         "558238cbac2bad10836d02982b852331d61192ad37dfe0a9f21766ef3546b0da",
         "5eedef808fe55c125cc33ac5e88182f705929441399de4f07788011b479b9598"},
    };
}

// Each file's digest is of its whole content, whether reads come back whole or seven bytes at a
// time, and every byte is read exactly once: the digest costs no read of its own.
TEST(ProgramDigest, KnownDigestsFromTheCheckAndTheUploadsCheckPass) {
    for (const DigestCase& c : digestCases()) {
        for (const std::size_t readLimit : {std::size_t{0}, std::size_t{7}}) {
            SCOPED_TRACE(std::string(c.name) + ", reads of at most " + std::to_string(readLimit));
            const std::uint64_t bytes =
                c.program.size() + (c.companion ? c.companion->size() : std::size_t{0});

            fakes::FakePlatform platform;
            platform.fileSystem.readLimit = readLimit;
            platform.fileSystem.files["prog.x"] = c.program;
            if (c.companion) {
                platform.fileSystem.files["prog.ini"] = *c.companion;
            }
            const ProgramReport report = checkProgramFile(platform, "prog.x", c.fileType);
            EXPECT_EQ(report.outcome, c.valid ? CheckOutcome::Valid : CheckOutcome::NotValid);
            EXPECT_EQ(hexOf(report.digests.program), c.programSha256);
            EXPECT_EQ(hexOf(report.digests.companion), c.companionSha256);
            EXPECT_EQ(platform.fileSystem.bytesRead, bytes);

            testing::ScriptedTerminal terminal;
            terminal.platform.fileSystem.readLimit = readLimit;
            terminal.session.settings.fileType = c.fileType;
            terminal.setProgramFile(c.program);
            if (c.companion) {
                terminal.setCompanionFile(*c.companion);
            }
            const ResultCode checked = checkProgramFiles(terminal.session);
            EXPECT_EQ(succeeded(checked), c.valid);
            ASSERT_EQ(terminal.frontEnd.checked.size(), 1u);
            EXPECT_EQ(hexOf(terminal.frontEnd.checked[0].program), c.programSha256);
            EXPECT_EQ(hexOf(terminal.frontEnd.checked[0].companion), c.companionSha256);
            EXPECT_EQ(terminal.platform.fileSystem.bytesRead, bytes);
            EXPECT_TRUE(terminal.platform.serialLine.writes.empty());
        }
    }
}

const std::string kOneRecord = "S3090000100001020304DC\r\nS70500000000FA\r\n";
const std::string kOneRecordSha256 =
    "54f85d9a20d8b2ecee8b0ba0a07799a8d0a16fbd649e8cd8ce342ec6e3efae70";

// The upload's check pass against an expected digest: the same digest in either case goes on to
// the terminal; another, or one that cannot be taken, is refused with nothing sent and says
// why; a digest that cannot be taken when none is expected is only a warning.
TEST(ExpectedDigest, RefusedBeforeAnythingIsSent) {
    std::string upper = kOneRecordSha256;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const std::string other(64, 'a');
    struct Case {
        const char* name;
        std::optional<std::string> expected;
        bool digestFails;
        bool uploads;
        std::vector<std::string> told;
        FailureKind kind;
        std::string reason;  // a part of the failure's reason
        std::size_t warnings;
    };
    const std::vector<Case> cases = {
        {"the expected digest, written in upper case",
         upper,
         false,
         true,
         {},
         FailureKind::None,
         "",
         0},
        {"another digest",
         other,
         false,
         false,
         {"SHA-256 mismatch!"},
         FailureKind::UnexpectedDigest,
         "its SHA-256 is " + kOneRecordSha256 + ", not the expected " + other,
         0},
        {"none expected, the digest fails", std::nullopt, true, true, {}, FailureKind::None, "", 1},
        {"one expected, the digest fails",
         upper,
         true,
         false,
         {},
         FailureKind::System,
         "cannot be taken to compare with the expected " + kOneRecordSha256,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testing::ScriptedTerminal terminal;
        terminal.platform.digestFails = c.digestFails;
        terminal.session.settings.fileType = SRecord;
        terminal.session.settings.programPath.assign("app.shx");
        terminal.setProgramFile(kOneRecord);
        if (c.expected) {
            terminal.session.expectedSha256 = platform::sha256FromHex(*c.expected);
        }
        // Ready at once, the erase done at once, every record taken.
        terminal.platform.serialLine.responder = [](fakes::FakeSerialLine& line,
                                                    std::span<const std::uint8_t> sent) {
            line.deliver(sent.size() == 1 ? "FN\r" : "FA\r");
        };
        const ResultCode result = uploadProgram(terminal.session);
        EXPECT_EQ(succeeded(result), c.uploads);
        EXPECT_EQ(terminal.frames().empty(), !c.uploads);
        EXPECT_EQ(terminal.frontEnd.texts(), c.told);
        EXPECT_EQ(terminal.session.failure.kind, c.kind);
        EXPECT_NE(terminal.session.failure.reason.find(c.reason), std::string::npos)
            << terminal.session.failure.reason;
        if (!c.uploads) {
            EXPECT_EQ(terminal.session.failure.object, "app.shx");
        }
        EXPECT_EQ(terminal.frontEnd.warnings.size(), c.warnings);
    }
}

// A program that is not the expected one ends the run with exit code 5 and is never retried:
// the same file would be refused again.
TEST(ExpectedDigest, TheRunExitsFiveWithoutARetry) {
    for (const RetryPolicy& policy : {RetryPolicy::ask(), RetryPolicy::retryTimes(2)}) {
        fakes::FakePlatform platform;
        fakes::RecordingFrontEnd frontEnd;
        Session session(platform, frontEnd);
        platform.fileSystem.files["app.shx"] = bytesOf(kOneRecord);
        session.expectedSha256 = platform::sha256FromHex(std::string(64, '0'));
        ASSERT_TRUE(applyStartupSettings(session, "app.shx,1,3,1,0,1"));
        int attempts = 0;
        runMainLoop(
            session,
            [&attempts](Session& s) {
                ++attempts;
                return uploadProgram(s);
            },
            policy);
        EXPECT_EQ(session.exitCode, exit_code::kFileNotValid);
        EXPECT_EQ(attempts, 1);
        EXPECT_TRUE(platform.serialLine.writes.empty());
    }
}

}  // namespace
}  // namespace vorlanth::shell
