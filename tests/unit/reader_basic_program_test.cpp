// Uploading a BASIC program with its companion settings file: the worked example in both checksum
// modes, the blocks the counts decide, and format errors.
#include <gtest/gtest.h>

#include "tests/unit/protocol_scripted_terminal.h"

namespace vorlanth::readers {
namespace {

using testing::Bytes;
using testing::RecordingProgress;
using testing::ScriptedTerminal;
using testing::textBytes;

// Any companion will do where the companion is not what a test is about.
const Bytes kCompanion = textBytes("settings");

// A program with counts first and third, every byte numbered by its offset so each block's
// place in the file shows.
Bytes program(std::size_t first, std::size_t third, std::size_t extra = 0) {
    const std::size_t second = (first + 1) / 2;
    const std::size_t secondCountAt = 10 + 64 * (first + second);
    Bytes bytes(secondCountAt + 2 + 64 * third + extra);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    bytes[8] = static_cast<std::uint8_t>(first);
    bytes[9] = static_cast<std::uint8_t>(first >> 8);
    bytes[secondCountAt] = static_cast<std::uint8_t>(third);
    bytes[secondCountAt + 1] = static_cast<std::uint8_t>(third >> 8);
    return bytes;
}

// The wire blocks for a program and companion: the companion's first 100 bytes padded with
// zeros, then the program's pieces in order, each with its checksum byte in checksum mode.
std::vector<Bytes> expectedBlocks(const Bytes& file, const Bytes& companion, bool checksummed) {
    std::vector<Bytes> blocks;
    Bytes first(100, 0);
    std::copy_n(companion.begin(), std::min<std::size_t>(100, companion.size()), first.begin());
    blocks.push_back(first);
    const std::size_t n = file[8] + 256u * file[9];
    std::size_t offset = 0;
    auto piece = [&](std::size_t size) {
        blocks.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(offset),
                            file.begin() + static_cast<std::ptrdiff_t>(offset + size));
        offset += size;
    };
    piece(8);
    piece(2);
    for (std::size_t i = 0; i < n + (n + 1) / 2; ++i) {
        piece(64);
    }
    const std::size_t m = file[offset] + 256u * file[offset + 1];
    piece(2);
    for (std::size_t i = 0; i < m; ++i) {
        piece(64);
    }
    if (checksummed) {
        for (Bytes& block : blocks) {
            unsigned sum = 0;
            for (std::uint8_t byte : block) {
                sum += byte;
            }
            block.push_back(static_cast<std::uint8_t>(0xFF - (sum & 0xFF)));
        }
    }
    blocks.push_back(textBytes("END\r"));
    return blocks;
}

struct Upload {
    ResultCode result;
    std::vector<Bytes> frames;
    std::vector<int> positions;
    int pumps;
};

Upload upload(ScriptedTerminal& terminal, const Bytes& file, const Bytes& companion) {
    terminal.setProgramFile(file);
    terminal.setCompanionFile(companion);
    RecordingProgress progress;
    const ResultCode code = terminal.transfer(Basic, progress);
    return {code, terminal.frames(), progress.positions, progress.pumps};
}

TEST(TransferBasicProgram, WorkedExampleInBothModes) {
    const Bytes file = program(3, 2);
    ASSERT_EQ(file.size(), 460u);
    const Bytes companion = textBytes("0123456789");
    for (const int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        ScriptedTerminal terminal;
        terminal.defaultReply = "ACK\r";
        terminal.session.checksumMode = mode;
        const Upload result = upload(terminal, file, companion);
        EXPECT_EQ(result.result, ResultCode::Done);
        std::vector<std::size_t> sizes;
        for (const Bytes& frame : result.frames) {
            sizes.push_back(frame.size() - (mode == 1 && frame != textBytes("END\r") ? 1 : 0));
        }
        EXPECT_EQ(sizes, (std::vector<std::size_t>{100, 8, 2, 64, 64, 64, 64, 64, 2, 64, 64, 4}));
        EXPECT_EQ(result.frames, expectedBlocks(file, companion, mode == 1));
        EXPECT_EQ(result.positions, (std::vector<int>{16, 30, 43, 57, 71, 86, 100}));
        EXPECT_EQ(result.pumps, 7);
    }
}

TEST(TransferBasicProgram, CountsDecideTheBlocks) {
    struct Case {
        std::size_t first;
        std::size_t third;
        std::size_t pieces;
    };
    const std::vector<Case> cases = {
        {0, 0, 0}, {1, 0, 2}, {2, 0, 3}, {5, 1, 9}, {300, 0, 450}, {0, 3, 3},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.first);
        ScriptedTerminal terminal;
        terminal.defaultReply = "ACK\r";
        const Bytes file = program(test.first, test.third);
        const Upload result = upload(terminal, file, kCompanion);
        EXPECT_EQ(result.result, ResultCode::Done);
        EXPECT_EQ(result.frames, expectedBlocks(file, kCompanion, false));
        EXPECT_EQ(result.frames.size(), test.pieces + 5);
        EXPECT_EQ(result.positions.size(), test.pieces);
        // The second count moves the counter but sets no position.
        if (test.third > 0) {
            EXPECT_EQ(result.positions.back(), 100);
        }
    }
}

TEST(TransferBasicProgram, CountsAreLittleEndian) {
    ScriptedTerminal terminal;
    terminal.defaultReply = "ACK\r";
    Bytes file = program(300, 0);
    ASSERT_EQ(file[8], 0x2C);
    ASSERT_EQ(file[9], 0x01);
    EXPECT_EQ(upload(terminal, file, kCompanion).frames.size(), 3u + 450u + 2u);
}

TEST(TransferBasicProgram, CompanionBlockIsItsFirstHundredBytes) {
    Bytes longCompanion(300);
    for (std::size_t i = 0; i < longCompanion.size(); ++i) {
        longCompanion[i] = static_cast<std::uint8_t>(i + 1);
    }
    for (const Bytes& companion : {textBytes("0123456789"), longCompanion}) {
        ScriptedTerminal terminal;
        terminal.defaultReply = "ACK\r";
        const Upload result = upload(terminal, program(0, 0), companion);
        ASSERT_FALSE(result.frames.empty());
        Bytes expected(100, 0);
        std::copy_n(companion.begin(), std::min<std::size_t>(100, companion.size()),
                    expected.begin());
        EXPECT_EQ(result.frames[0], expected);
    }
}

TEST(TransferBasicProgram, RefusalsEndTheTransfer) {
    struct Case {
        const char* name;
        int mode;
        std::vector<std::string> replies;
        ResultCode expected;
        std::size_t frames;
    };
    const std::vector<Case> cases = {
        {"first refused block",
         0,
         {"ACK\r", "ACK\r", "ACK\r", "NAK\r"},
         ResultCode::BlockUploadError,
         4},
        {"companion refused six times",
         1,
         {"NAK\r", "NAK\r", "NAK\r", "NAK\r", "NAK\r", "NAK\r"},
         ResultCode::BlockUploadError,
         6},
        {"END answered NAK",
         0,
         {"ACK\r", "ACK\r", "ACK\r", "ACK\r", "ACK\r", "ACK\r", "ACK\r", "ACK\r", "ACK\r", "ACK\r",
          "ACK\r", "NAK\r"},
         ResultCode::BlockUploadError,
         12},
        {"END not answered",
         0,
         {"ACK\r", "ACK\r", "ACK\r", "ACK\r", "ACK\r", "ACK\r", "ACK\r", "ACK\r", "ACK\r", "ACK\r",
          "ACK\r", ""},
         ResultCode::BlockUploadError,
         12},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ScriptedTerminal terminal;
        terminal.defaultReply = "ACK\r";
        terminal.session.checksumMode = test.mode;
        terminal.replies.assign(test.replies.begin(), test.replies.end());
        const Upload result = upload(terminal, program(3, 2), kCompanion);
        EXPECT_EQ(result.result, test.expected);
        EXPECT_EQ(result.frames.size(), test.frames);
    }
}

TEST(TransferBasicProgram, ProgramCheckedBeforeAnyBlock) {
    const Bytes whole = program(3, 2);
    struct Case {
        const char* name;
        Bytes file;
    };
    const std::vector<Case> cases = {
        {"empty", {}},
        {"header only", Bytes(whole.begin(), whole.begin() + 9)},
        {"second count missing", Bytes(whole.begin(), whole.begin() + 330)},
        {"last piece short by one byte", Bytes(whole.begin(), whole.end() - 1)},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        ScriptedTerminal terminal;
        terminal.defaultReply = "ACK\r";
        const Upload result = upload(terminal, test.file, textBytes("settings"));
        EXPECT_EQ(result.result, ResultCode::Failed);
        EXPECT_TRUE(result.frames.empty());
        EXPECT_EQ(terminal.frontEnd.texts(), std::vector<std::string>{"Format Error!"});
        EXPECT_EQ(terminal.frontEnd.messages.at(0).caption,
                  std::optional<std::string>("Program Download"));
    }
}

TEST(TransferBasicProgram, BytesAfterTheProgramAreIgnored) {
    ScriptedTerminal terminal;
    terminal.defaultReply = "ACK\r";
    const Bytes file = program(3, 2, 40);
    const Upload result = upload(terminal, file, kCompanion);
    EXPECT_EQ(result.result, ResultCode::Done);
    EXPECT_EQ(result.frames, expectedBlocks(file, kCompanion, false));
    // The divisor stays the file's size.
    EXPECT_EQ(result.positions.back(), 460 * 100 / 500);
}

}  // namespace
}  // namespace vorlanth::readers
