// The POSIX file system: program files read through a read-ahead buffer, text streams (FIFOs,
// pipes, standard input) whose reads wait in poll beside the stop request.
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/posix/regular_file.h"
#include "platform/posix/stop_wait.h"
#include "platform/system_parts.h"

namespace vorlanth::platform {

namespace {

// A program file, read as the decoders ask (they take it in blocks of their own).
class PosixFile final : public ReadableFile {
  public:
    explicit PosixFile(UniqueFd descriptor) : descriptor_(std::move(descriptor)) {}
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    // One read(2), repeated when a signal interrupts it.
    std::int64_t read(std::span<std::uint8_t> buffer) override {
        for (;;) {
            const ssize_t count = ::read(descriptor_.get(), buffer.data(), buffer.size());
            if (count >= 0 || errno != EINTR) {
                return count;
            }
        }
    }

    std::int64_t size() override {
        struct stat status {};
        if (::fstat(descriptor_.get(), &status) != 0) {
            return -1;
        }
        return status.st_size;
    }

    bool rewind() override { return ::lseek(descriptor_.get(), 0, SEEK_SET) == 0; }

  private:
    UniqueFd descriptor_;
};

// A text read once from start to end through a pipe, a FIFO or standard input: each read waits
// in poll, beside the stop request, until data or the end is there. A FIFO this stream opened
// itself is non-blocking and owned; standard input is borrowed as it is (its blocking mode is
// shared with whoever started the program, so it is left alone) and never closed.
class PosixStream final : public ReadableFile {
  public:
    explicit PosixStream(UniqueFd owned) : owned_(std::move(owned)), descriptor_(owned_.get()) {}
    explicit PosixStream(int borrowed) : descriptor_(borrowed) {}

    // A FIFO opened before its writer reports nothing in poll until the writer comes, so a
    // list that another program is still about to write is waited for, not taken as empty.
    std::int64_t read(std::span<std::uint8_t> buffer) override {
        for (;;) {
            if (waitForDescriptor(descriptor_, POLLIN, -1) != WaitOutcome::Ready) {
                return -1;
            }
            const ssize_t count = ::read(descriptor_, buffer.data(), buffer.size());
            if (count >= 0) {
                return count;
            }
            if (errno != EINTR && errno != EAGAIN) {
                return -1;
            }
        }
    }
    std::int64_t size() override { return -1; }
    bool rewind() override { return false; }

  private:
    UniqueFd owned_;
    int descriptor_;
};

class PosixFileSystem final : public FileSystem {
  public:
    // Only regular files are program files: a FIFO would hang the open, a directory opens
    // on POSIX but reads nothing.
    std::unique_ptr<ReadableFile> openForReading(const std::string& path,
                                                 FailureDetail* why) override {
        UniqueFd descriptor = openRegularFile(path, why);
        if (!descriptor) {
            return nullptr;
        }
        return std::make_unique<PosixFile>(std::move(descriptor));
    }

    // A regular file is read as a program file is; a FIFO or a pipe through the stream.
    std::unique_ptr<ReadableFile> openTextStream(const std::string& path,
                                                 FailureDetail* why) override {
        if (path == "-") {
            return std::make_unique<PosixStream>(STDIN_FILENO);
        }
        bool fifo = false;
        UniqueFd descriptor = openRegularFileOrFifo(path, fifo, why);
        if (!descriptor) {
            return nullptr;
        }
        if (fifo) {
            return std::make_unique<PosixStream>(std::move(descriptor));
        }
        return std::make_unique<PosixFile>(std::move(descriptor));
    }

    std::optional<std::uint64_t> fileSize(const std::string& path) override {
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0 || S_ISDIR(status.st_mode)) {
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(status.st_size);
    }
};

}  // namespace

std::unique_ptr<FileSystem> makeSystemFileSystem() {
    return std::make_unique<PosixFileSystem>();
}

}  // namespace vorlanth::platform
