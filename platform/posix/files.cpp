#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/posix/regular_file.h"
#include "platform/system_parts.h"

namespace vorlanth::platform {

namespace {

// The readers ask for small pieces (a 256-byte chunk of S-record text, a 64-byte chunk of an
// image); the file fills a 64 KiB read-ahead buffer at a time and serves the pieces from it, so
// a large program costs a few hundred system calls instead of tens of thousands. What a caller
// reads is the same byte sequence, in the same sizes, as without the buffer.
class PosixFile final : public ReadableFile {
  public:
    explicit PosixFile(UniqueFd descriptor) : descriptor_(std::move(descriptor)) {}
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    // Serves the request from the buffer, refilling it when it is empty; a request as large as
    // the buffer goes straight to the file.
    std::int64_t read(std::span<std::uint8_t> buffer) override {
        if (buffer.empty()) {
            return 0;
        }
        if (next_ == end_) {
            if (buffer.size() >= readAhead_.size()) {
                return readFromFile(buffer);
            }
            const std::int64_t count = readFromFile(readAhead_);
            if (count <= 0) {
                return count;
            }
            next_ = 0;
            end_ = static_cast<std::size_t>(count);
        }
        const std::size_t count = std::min(buffer.size(), end_ - next_);
        std::memcpy(buffer.data(), readAhead_.data() + next_, count);
        next_ += count;
        return static_cast<std::int64_t>(count);
    }

    std::int64_t size() override {
        struct stat status {};
        if (::fstat(descriptor_.get(), &status) != 0) {
            return -1;
        }
        return status.st_size;
    }

    // The read-ahead buffer is dropped with the position.
    bool rewind() override {
        next_ = 0;
        end_ = 0;
        return ::lseek(descriptor_.get(), 0, SEEK_SET) == 0;
    }

  private:
    // One read(2), repeated when a signal interrupts it.
    std::int64_t readFromFile(std::span<std::uint8_t> buffer) {
        for (;;) {
            const ssize_t count = ::read(descriptor_.get(), buffer.data(), buffer.size());
            if (count >= 0 || errno != EINTR) {
                return count;
            }
        }
    }

    UniqueFd descriptor_;
    std::vector<std::uint8_t> readAhead_ = std::vector<std::uint8_t>(64 * 1024);
    std::size_t next_ = 0;
    std::size_t end_ = 0;
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
