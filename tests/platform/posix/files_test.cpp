#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/system_parts.h"
#include "tests/platform/settings_store_support.h"

namespace vorlanth::testing {
namespace {

// Bytes of every value in an irregular order, so a piece served twice or skipped shows.
std::string patternBytes(std::size_t size) {
    std::string bytes(size, '\0');
    std::uint32_t state = 2463534242u;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

// Reads a file through the system file system in the given piece sizes, cycling through
// them, for files around and across the read-ahead buffer's size: every byte arrives once and
// in order, and the end reads 0 again and again.
TEST(PosixFiles, PiecesOfAnySizeReadTheFileExactly) {
    struct Case {
        std::size_t fileSize;
        std::vector<std::size_t> pieces;
    };
    const std::vector<Case> cases = {
        {0, {256}},
        {1, {256}},
        {5000, {1}},
        {65536, {256}},
        {65537, {256}},
        {200003, {256}},
        {200003, {64, 11, 4, 4}},
        {200003, {65535, 3}},
        {200003, {65536}},
        {200003, {100000, 7}},
        {200003, {7, 131072}},
    };
    ScratchDirectory scratch;
    auto files = platform::makeSystemFileSystem();
    for (const Case& test : cases) {
        SCOPED_TRACE("file of " + std::to_string(test.fileSize) + " bytes, first piece " +
                     std::to_string(test.pieces.front()));
        const std::string path = scratch / "program.shx";
        const std::string expected = patternBytes(test.fileSize);
        writeBytes(path, expected);
        auto file = files->openForReading(path);
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->size(), static_cast<std::int64_t>(test.fileSize));
        std::string received;
        std::size_t turn = 0;
        for (;;) {
            std::vector<std::uint8_t> piece(test.pieces[turn++ % test.pieces.size()]);
            const std::int64_t count = file->read(piece);
            ASSERT_GE(count, 0);
            if (count == 0) {
                break;
            }
            ASSERT_LE(static_cast<std::size_t>(count), piece.size());
            received.append(piece.begin(), piece.begin() + count);
            ASSERT_LE(received.size(), test.fileSize);
        }
        EXPECT_TRUE(received == expected);
        std::vector<std::uint8_t> after(16);
        EXPECT_EQ(file->read(after), 0);
        EXPECT_EQ(file->read(after), 0);
    }
}

}  // namespace
}  // namespace vorlanth::testing
