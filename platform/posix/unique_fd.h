// UniqueFd: a POSIX descriptor closed exactly once, optionally through a DescriptorCloser so
// that tests can make a close fail.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace vorlanth::platform {

// Something that closes descriptors in place of close(2): the settings store closes through
// its calls so that a test can make a close fail.
class DescriptorCloser {
  public:
    virtual int close(int descriptor) = 0;

  protected:
    ~DescriptorCloser() = default;
};

// A file descriptor, socket or pipe end closed exactly once: by close(), reset(), or on
// destruction; -1 holds nothing. The closer given at construction, if any, does the closing
// and must outlive the object.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(int fd, DescriptorCloser& closer) : fd_(fd), closer_(&closer) {}
    // A close on destruction leaves errno as it was, so that the error of the call that made
    // the caller give up survives the clean-up.
    ~UniqueFd() {
        const int savedErrno = errno;
        close();
        errno = savedErrno;
    }
    UniqueFd(UniqueFd&& other) noexcept
        : fd_(std::exchange(other.fd_, -1)), closer_(other.closer_) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            UniqueFd(std::move(other)).swap(*this);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

    // Gives the descriptor up without closing it.
    int release() { return std::exchange(fd_, -1); }

    // Closes the descriptor held, if any, and holds fd instead (with the same closer).
    void reset(int fd = -1) {
        const int savedErrno = errno;
        close();
        errno = savedErrno;
        fd_ = fd;
    }

    // Closes now: true when nothing was held or the close succeeded; false with errno set
    // when it failed (a late write error of a file shows here). The descriptor is given up
    // either way, as the system frees it even when close reports an error.
    bool close() {
        const int fd = std::exchange(fd_, -1);
        if (fd < 0) {
            return true;
        }
        return (closer_ != nullptr ? closer_->close(fd) : ::close(fd)) == 0;
    }

  private:
    void swap(UniqueFd& other) noexcept {
        std::swap(fd_, other.fd_);
        std::swap(closer_, other.closer_);
    }

    int fd_ = -1;
    DescriptorCloser* closer_ = nullptr;
};

}  // namespace vorlanth::platform
