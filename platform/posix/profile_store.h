// The POSIX settings store with its file operations open to tests: each call the store makes
// on a descriptor or a name goes through StoreCalls, so that a test can make any one of them
// fail (a full disk, a read-only directory, an interrupted call) or observe them.
#pragma once

#include <sys/types.h>

#include <memory>

#include "platform/posix/unique_fd.h"
#include "platform/profile.h"

namespace vorlanth::platform {

class StoreCalls : public DescriptorCloser {
  public:
    virtual ~StoreCalls() = default;
    virtual int open(const char* path, int flags, mode_t mode);
    virtual ssize_t read(int descriptor, void* buffer, size_t size);
    virtual ssize_t write(int descriptor, const void* buffer, size_t size);
    virtual int fchmod(int descriptor, mode_t mode);
    virtual int fsync(int descriptor);
    int close(int descriptor) override;
    virtual int rename(const char* from, const char* to);
    virtual int unlink(const char* path);
};

// The store over the given calls, which must outlive it.
std::unique_ptr<Profile> makePosixProfile(StoreCalls& calls);

}  // namespace vorlanth::platform
