#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>
#include <string>

#include "platform/system_parts.h"
#include "settings/ini_text.h"

namespace vorlanth::platform {

namespace {

// A descriptor closed when the object goes.
class Descriptor {
  public:
    explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
    ~Descriptor() {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return descriptor_; }
    // Closes now and reports whether the close succeeded (a late write error shows here).
    bool close() {
        const int descriptor = descriptor_;
        descriptor_ = -1;
        return descriptor < 0 || ::close(descriptor) == 0;
    }

  private:
    int descriptor_;
};

// The whole content of a regular file; nothing when it is missing or cannot be read.
std::optional<std::string> readWholeFile(const std::string& path) {
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    struct stat status {};
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    std::string content;
    std::array<char, 4096> chunk{};
    for (;;) {
        const ssize_t count = ::read(file.get(), chunk.data(), chunk.size());
        if (count == 0) {
            return content;
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        content.append(chunk.data(), static_cast<std::size_t>(count));
    }
}

bool writeAll(int descriptor, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(descriptor, bytes.data(), bytes.size());
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Creates the directory and every missing parent, private to the user as configuration
// directories are.
bool makeDirectories(const std::string& directory) {
    struct stat status {};
    if (::stat(directory.c_str(), &status) == 0) {
        return S_ISDIR(status.st_mode);
    }
    const std::string parent = directoryOf(directory);
    if (parent != directory && !makeDirectories(parent)) {
        return false;
    }
    return ::mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST;
}

// Replaces the file's content as one step: the new text goes to a temporary file beside it,
// reaches the disk, and is renamed over the old file, so a crash leaves either the old file
// or the new one, never half of either. The file keeps its permissions.
bool replaceFile(const std::string& path, std::string_view content) {
    const std::string directory = directoryOf(path);
    if (!makeDirectories(directory)) {
        return false;
    }
    const std::string temporary = path + ".tmp" + std::to_string(::getpid());
    ::unlink(temporary.c_str());  // left over by a process of the same id that crashed
    Descriptor file(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
    if (file.get() < 0) {
        return false;
    }
    struct stat old {};
    bool written = writeAll(file.get(), content);
    if (written && ::stat(path.c_str(), &old) == 0) {
        written = ::fchmod(file.get(), old.st_mode & 07777) == 0;
    }
    written = written && ::fsync(file.get()) == 0;
    written = file.close() && written;
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // Make the rename itself durable.
    Descriptor directoryHandle(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directoryHandle.get() >= 0) {
        ::fsync(directoryHandle.get());
    }
    return true;
}

// INI files read and written by our own text processing, with the private-profile functions'
// rules; see settings/ini_text.h.
class PosixProfile final : public Profile {
  public:
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultValue, const std::string& path,
                           std::size_t size) override {
        std::string value(defaultValue);
        if (const std::optional<std::string> content = readWholeFile(path)) {
            if (std::optional<std::string> found =
                    settings::ini::findValue(*content, section, key)) {
                value = std::move(*found);
            }
        }
        value.resize(std::min(value.size(), size > 0 ? size - 1 : 0));
        return value;
    }

    bool writeString(std::string_view section, std::string_view key, std::string_view value,
                     const std::string& path) override {
        if (path.empty()) {
            return false;
        }
        std::string content;
        if (std::optional<std::string> old = readWholeFile(path)) {
            content = std::move(*old);
        } else if (::access(path.c_str(), F_OK) == 0) {
            return false;  // present but unreadable or not a regular file: leave it alone
        }
        const std::optional<std::string> updated =
            settings::ini::withValue(content, section, key, value);
        return updated && replaceFile(path, *updated);
    }
};

}  // namespace

std::unique_ptr<Profile> makeSystemProfile() {
    return std::make_unique<PosixProfile>();
}

}  // namespace vorlanth::platform
