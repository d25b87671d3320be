// The POSIX file system against real files, FIFOs and sockets: reads of any size, special files
// refused at once, text streams and saves that never leave half a file.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
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
// them, for files around and across 64 KiB: every byte arrives once and
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

// Things that are not regular files, given where a program file is expected: each is refused
// at once (a FIFO without a writer would hold a blocking open for ever), with what it is.
TEST(PosixFiles, SpecialFilesAreRefusedAtOnceAndSaySo) {
    ScratchDirectory scratch;
    const std::string fifo = scratch / "program.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string socketPath = scratch / "program.sock";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const std::string loop = scratch / "loop.a";
    ASSERT_EQ(::symlink((scratch / "loop.b").c_str(), loop.c_str()), 0);
    ASSERT_EQ(::symlink(loop.c_str(), (scratch / "loop.b").c_str()), 0);
    const std::string link = scratch / "to-fifo";
    ASSERT_EQ(::symlink(fifo.c_str(), link.c_str()), 0);

    struct Case {
        std::string path;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {fifo, "not a regular file: a FIFO"},
        {link, "not a regular file: a FIFO"},
        {scratch.path(), "not a regular file: a directory"},
        {"/dev/null", "not a regular file: a character device"},
        {socketPath, "not a regular file: a socket"},
        {loop, "cannot open"},
        {scratch / "missing.shx", "cannot open"},
    };
    auto files = platform::makeSystemFileSystem();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        FailureDetail why;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(files->openForReading(c.path, &why), nullptr);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_EQ(why.object, c.path);
        EXPECT_EQ(why.reason, c.reason);
        EXPECT_EQ(why.kind, FailureKind::System);
    }
    ::close(listener);

    // A regular file reached through a symbolic link opens, and reads in blocking mode.
    const std::string real = scratch / "app.shx";
    writeBytes(real, "S70500000000FA\r\n");
    ASSERT_EQ(::symlink(real.c_str(), (scratch / "linked.shx").c_str()), 0);
    auto file = files->openForReading(scratch / "linked.shx");
    ASSERT_NE(file, nullptr);
    std::vector<std::uint8_t> bytes(64);
    EXPECT_EQ(file->read(bytes), 16);
}

}  // namespace
}  // namespace vorlanth::testing
