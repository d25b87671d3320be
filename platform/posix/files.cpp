#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system_parts.h"

namespace vorlanth::platform {

namespace {

class PosixFile final : public ReadableFile {
  public:
    explicit PosixFile(int descriptor) : descriptor_(descriptor) {}
    ~PosixFile() override { ::close(descriptor_); }
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    std::int64_t read(std::span<std::uint8_t> buffer) override {
        for (;;) {
            const ssize_t count = ::read(descriptor_, buffer.data(), buffer.size());
            if (count >= 0 || errno != EINTR) {
                return count;
            }
        }
    }

    std::int64_t size() override {
        struct stat status {};
        if (::fstat(descriptor_, &status) != 0) {
            return -1;
        }
        return status.st_size;
    }

  private:
    int descriptor_;
};

class PosixFileSystem final : public FileSystem {
  public:
    std::unique_ptr<ReadableFile> openForReading(const std::string& path) override {
        const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
        if (descriptor < 0) {
            return nullptr;
        }
        struct stat status {};
        // Only regular files are program files; a directory opens on POSIX but reads nothing.
        if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
            ::close(descriptor);
            return nullptr;
        }
        return std::make_unique<PosixFile>(descriptor);
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
