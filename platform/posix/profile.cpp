// The POSIX settings store: INI files read whole with a size cap, and written as one step
// through a temporary file renamed into place, following the settings file's symbolic links.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <optional>
#include <string>

#include "platform/ini_text.h"
#include "platform/posix/profile_store.h"
#include "platform/posix/regular_file.h"
#include "platform/posix/system_error.h"
#include "platform/system_parts.h"

namespace vorlanth::platform {

// The real system calls, one each.
int StoreCalls::open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}
ssize_t StoreCalls::read(int descriptor, void* buffer, size_t size) {
    return ::read(descriptor, buffer, size);
}
ssize_t StoreCalls::write(int descriptor, const void* buffer, size_t size) {
    return ::write(descriptor, buffer, size);
}
int StoreCalls::fchmod(int descriptor, mode_t mode) {
    return ::fchmod(descriptor, mode);
}
int StoreCalls::fsync(int descriptor) {
    return ::fsync(descriptor);
}
int StoreCalls::close(int descriptor) {
    return ::close(descriptor);
}
int StoreCalls::rename(const char* from, const char* to) {
    return ::rename(from, to);
}
int StoreCalls::unlink(const char* path) {
    return ::unlink(path);
}

namespace {

// Symbolic links followed from the settings file to the file it stands for, as the kernel
// bounds a path's links.
constexpr int kMaxLinks = 40;

// A temporary file that is removed when the object goes unless it was renamed into place, so
// that no way out of a save (a failure, an exception, a stop request) leaves it behind.
class TemporaryFile {
  public:
    TemporaryFile(StoreCalls& calls, std::string path)
        : calls_(calls),
          path_(std::move(path)),
          file_(calls.open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666),
                calls) {}
    ~TemporaryFile() {
        file_.close();
        if (created_ && !renamed_) {
            calls_.unlink(path_.c_str());
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    UniqueFd& file() { return file_; }
    // Puts the file in target's place.
    bool renameTo(const std::string& target) {
        renamed_ = calls_.rename(path_.c_str(), target.c_str()) == 0;
        return renamed_;
    }

  private:
    StoreCalls& calls_;
    std::string path_;
    UniqueFd file_;
    bool created_ = file_.get() >= 0;
    bool renamed_ = false;
};

// The directory part of path, without its closing slash ("." for a bare name).
std::string directoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The name after path's last slash.
std::string baseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// What reading a profile file found.
enum class Found { Text, Missing, NotRegular, TooLarge, Unreadable };

struct FileText {
    Found found = Found::Missing;
    std::string text;
    mode_t mode = 0;    // permissions of a file that was read
    FailureDetail why;  // what a file that is not read is, or why it could not be read
};

// Reads a whole profile file with one pass over it. The file is opened without blocking, so
// that a FIFO or a device in its place cannot hold the program, and is read only when it is a
// plain file of at most kMaxProfileFileSize bytes. A call cut short by a signal fails the
// read rather than being repeated: a stop request is then seen at once.
FileText readProfileText(StoreCalls& calls, const std::string& path) {
    FileText result;
    const UniqueFd file = openRegularFile(path, &result.why);
    if (!file) {
        // A file that is there but is not a regular one comes back without a system error.
        const bool missing =
            result.why.osErrorKind == OsErrorKind::Errno && result.why.osError == ENOENT;
        result.found = missing                                       ? Found::Missing
                       : result.why.osErrorKind == OsErrorKind::None ? Found::NotRegular
                                                                     : Found::Unreadable;
        return result;
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
        result.why = systemFailure(path, "could not read it", errno);
        result.found = Found::Unreadable;
        return result;
    }
    if (static_cast<std::uint64_t>(status.st_size) > kMaxProfileFileSize) {
        result.found = Found::TooLarge;
        return result;
    }
    result.mode = status.st_mode & 07777;
    // One byte more than allowed tells a file that grew past the limit since fstat.
    std::string buffer(kMaxProfileFileSize + 1, '\0');
    std::size_t filled = 0;
    for (;;) {
        const ssize_t count =
            calls.read(file.get(), buffer.data() + filled, buffer.size() - filled);
        if (count < 0) {
            result.why = systemFailure(path, "could not read it", errno);
            result.found = Found::Unreadable;
            return result;
        }
        if (count == 0) {
            break;
        }
        filled += static_cast<std::size_t>(count);
        if (filled == buffer.size()) {
            result.found = Found::TooLarge;
            return result;
        }
    }
    result.found = Found::Text;
    buffer.resize(filled);
    result.text = std::move(buffer);
    return result;
}

// The file that path names after its symbolic links are followed (a dotfile manager links the
// settings file into its own tree; saving must update that file, not replace the link). A
// link that points nowhere names the file to create.
std::optional<std::string> followLinks(std::string path, FailureDetail& problem) {
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0) {
            if (errno == ENOENT) {
                return path;
            }
            problem = systemFailure(path, "could not look at it", errno);
            return std::nullopt;
        }
        if (!S_ISLNK(status.st_mode)) {
            return path;
        }
        std::array<char, 4096> target{};
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) {
            problem =
                systemFailure(path, "could not follow the link", length < 0 ? errno : ENAMETOOLONG);
            return std::nullopt;
        }
        std::string next(target.data(), static_cast<std::size_t>(length));
        path = next.front() == '/' ? next : directoryOf(path) + "/" + next;
    }
    problem = systemFailure(path, "could not follow the link", ELOOP);
    return std::nullopt;
}

// Creates the directory and every missing parent, private to the user as configuration
// directories are.
bool makeDirectories(const std::string& directory) {
    struct stat status {};
    if (::stat(directory.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) {
            return true;
        }
        errno = ENOTDIR;
        return false;
    }
    const std::string parent = directoryOf(directory);
    if (parent != directory && !makeDirectories(parent)) {
        return false;
    }
    return ::mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST;
}

// Removes temporary files that saves of processes no longer running left beside the file
// (a process killed outright cannot clean up after itself).
void removeStaleTemporaryFiles(StoreCalls& calls, const std::string& target) {
    const std::string directory = directoryOf(target);
    const std::string prefix = baseNameOf(target) + ".tmp";
    const std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(directory.c_str()), ::closedir);
    if (!listing) {
        return;
    }
    while (const dirent* entry = ::readdir(listing.get())) {
        const std::string_view name = entry->d_name;
        if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) {
            continue;
        }
        const std::string_view digits = name.substr(prefix.size());
        if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(),
                                              [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        const auto pid = static_cast<pid_t>(std::stol(std::string(digits)));
        if (pid > 0 && pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH) {
            calls.unlink((directory + "/" + std::string(name)).c_str());
        }
    }
}

// Writes all of bytes; a call cut short by a signal fails the write.
bool writeAll(StoreCalls& calls, int descriptor, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = calls.write(descriptor, bytes.data(), bytes.size());
        if (count <= 0) {
            if (count == 0) {
                errno = EIO;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

// Puts content in target's place as one step: the text goes to a temporary file beside
// target, reaches the disk, and is renamed over it, so that a failure or a crash leaves
// either the old file or the new one, never a mixture. The file keeps its permissions.
FailureDetail replaceFile(StoreCalls& calls, const std::string& path, const std::string& target,
                          const FileText& old, std::string_view content) {
    removeStaleTemporaryFiles(calls, target);
    const std::string temporaryPath = target + ".tmp" + std::to_string(::getpid());
    calls.unlink(temporaryPath.c_str());  // left by a process of the same id that was killed
    TemporaryFile temporary(calls, temporaryPath);
    UniqueFd& file = temporary.file();
    if (file.get() < 0) {
        return systemFailure(path, "could not create a temporary file beside it", errno);
    }
    if (!writeAll(calls, file.get(), content)) {
        return systemFailure(path, "could not write a temporary file beside it", errno);
    }
    if (old.found == Found::Text && calls.fchmod(file.get(), old.mode) != 0) {
        return systemFailure(path, "could not give the new file the old one's permissions", errno);
    }
    if (calls.fsync(file.get()) != 0 || !file.close()) {
        return systemFailure(path, "could not write a temporary file beside it", errno);
    }
    if (!temporary.renameTo(target)) {
        return systemFailure(path, "could not replace it", errno);
    }
    // Makes the rename itself durable; the new file is in place whatever this gives.
    const UniqueFd directory(
        calls.open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0), calls);
    if (directory.get() >= 0) {
        calls.fsync(directory.get());
    }
    return {};
}

// INI files read and written by our own text processing, with the private-profile functions'
// rules; see settings/ini_text.h.
class PosixProfile final : public Profile {
  public:
    explicit PosixProfile(StoreCalls& calls) : calls_(calls) {}
    PosixProfile() : calls_(ownCalls_) {}

    ProfileReading readStrings(std::string_view section, std::span<const ProfileKey> keys,
                               const std::string& path, std::size_t size) override {
        ProfileReading reading;
        const FileText file = readProfileText(calls_, path);
        reading.fileRead = file.found == Found::Text;
        if (file.found == Found::TooLarge) {
            reading.problem = objectFailure(path, std::string(kProfileTooLarge));
        }
        for (const ProfileKey& key : keys) {
            std::optional<std::string> found;
            if (reading.fileRead) {
                found = ini::findValue(file.text, section, key.name);
            }
            std::string value = found ? std::move(*found) : std::string(key.defaultValue);
            value.resize(std::min(value.size(), size > 0 ? size - 1 : 0));
            reading.values.push_back(std::move(value));
        }
        return reading;
    }

    // Reads the file once, applies every entry to its text and replaces the file once: either
    // all entries reach the file or none does. Nothing is written when the text would not
    // change.
    FailureDetail writeStrings(std::string_view section, std::span<const ProfileEntry> entries,
                               const std::string& path) override {
        if (path.empty()) {
            return objectFailure(path, "no settings path");
        }
        if (!makeDirectories(directoryOf(path))) {
            return systemFailure(path, "could not create its directory", errno);
        }
        FailureDetail problem;
        const std::optional<std::string> target = followLinks(path, problem);
        if (!target) {
            problem.object = path;
            return problem;
        }
        const FileText old = readProfileText(calls_, *target);
        switch (old.found) {
            case Found::Text:
            case Found::Missing:
                break;
            case Found::TooLarge:
                return objectFailure(path, std::string(kProfileTooLarge));
            case Found::NotRegular:
            case Found::Unreadable: {
                FailureDetail why = old.why;
                why.object = path;
                return why;
            }
        }
        std::string content = old.text;
        for (const ProfileEntry& entry : entries) {
            std::optional<std::string> updated =
                ini::withValue(content, section, entry.name, entry.value);
            if (!updated) {
                return objectFailure(
                    path, std::string("\"")
                              .append(entry.name)
                              .append("\" cannot be stored in the file (a line break?)"));
            }
            content = std::move(*updated);
        }
        if (old.found == Found::Text && content == old.text) {
            return {};
        }
        return replaceFile(calls_, path, *target, old, content);
    }

  private:
    StoreCalls ownCalls_;
    StoreCalls& calls_;
};

}  // namespace

std::unique_ptr<Profile> makePosixProfile(StoreCalls& calls) {
    return std::make_unique<PosixProfile>(calls);
}

std::unique_ptr<Profile> makeSystemProfile() {
    return std::make_unique<PosixProfile>();
}

}  // namespace vorlanth::platform
