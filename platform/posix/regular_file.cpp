// Opens files for reading on POSIX without ever blocking in the open, keeping only regular
// files (and FIFOs when asked) and saying what anything else is.
#include "platform/posix/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/posix/system_error.h"

namespace vorlanth::platform {

namespace {

// What a file that is not a regular one is, in the words of a message.
const char* kindOfFile(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    return "not a regular file";
}

// The refusal of a file that exists but is not a regular file.
FailureDetail notRegular(const std::string& path, mode_t mode) {
    return objectFailure(path, std::string("not a regular file: ") + kindOfFile(mode));
}

}  // namespace

namespace {

// Opens path without blocking in the open and keeps it when it is a regular file, or a FIFO
// when fifoTaken is given (which is then set to whether it is one).
UniqueFd openWithoutBlocking(const std::string& path, bool* fifoTaken, FailureDetail* why) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        // A socket cannot be opened at all; say what it is rather than "No such device".
        const int error = errno;
        struct stat status {};
        if (error == ENXIO && ::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
            tell(why, notRegular(path, status.st_mode));
        } else {
            tell(why, systemFailure(path, "cannot open", error));
        }
        return {};
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        tell(why, systemFailure(path, "cannot open", errno));
        return {};
    }
    if (fifoTaken != nullptr && S_ISFIFO(status.st_mode)) {
        *fifoTaken = true;
        return fd;
    }
    if (!S_ISREG(status.st_mode)) {
        tell(why, notRegular(path, status.st_mode));
        return {};
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        tell(why, systemFailure(path, "cannot open", errno));
        return {};
    }
    return fd;
}

}  // namespace

UniqueFd openRegularFile(const std::string& path, FailureDetail* why) {
    return openWithoutBlocking(path, nullptr, why);
}

UniqueFd openRegularFileOrFifo(const std::string& path, bool& fifo, FailureDetail* why) {
    fifo = false;
    return openWithoutBlocking(path, &fifo, why);
}

}  // namespace vorlanth::platform
