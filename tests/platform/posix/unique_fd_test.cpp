#include "platform/posix/unique_fd.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <utility>
#include <vector>

namespace vorlanth::testing {
namespace {

using platform::UniqueFd;

// Records every descriptor it is asked to close, closing nothing real; the descriptors in
// failing report EIO.
class RecordingCloser final : public platform::DescriptorCloser {
  public:
    int close(int descriptor) override {
        closed.push_back(descriptor);
        for (const int bad : failing) {
            if (bad == descriptor) {
                errno = EIO;
                return -1;
            }
        }
        return 0;
    }
    std::vector<int> closed;
    std::vector<int> failing;
};

// Every way of letting a descriptor go closes it exactly once, and only what was held.
TEST(UniqueFd, EveryWayOutClosesExactlyOnce) {
    struct Case {
        const char* name;
        void (*run)(RecordingCloser& closer);
        std::vector<int> closed;
    };
    const std::vector<Case> cases = {
        {"destruction", [](RecordingCloser& c) { UniqueFd fd(100, c); }, {100}},
        {"empty", [](RecordingCloser&) { UniqueFd fd; }, {}},
        {"release",
         [](RecordingCloser& c) {
             UniqueFd fd(100, c);
             EXPECT_EQ(fd.release(), 100);
             EXPECT_FALSE(fd);
         },
         {}},
        {"reset to another",
         [](RecordingCloser& c) {
             UniqueFd fd(100, c);
             fd.reset(101);
             EXPECT_EQ(fd.get(), 101);
         },
         {100, 101}},
        {"checked close, then destruction",
         [](RecordingCloser& c) {
             UniqueFd fd(100, c);
             EXPECT_TRUE(fd.close());
             EXPECT_TRUE(fd.close());  // nothing held any more
         },
         {100}},
        {"move construction",
         [](RecordingCloser& c) {
             UniqueFd from(100, c);
             UniqueFd to(std::move(from));
             EXPECT_FALSE(from);
             EXPECT_EQ(to.get(), 100);
         },
         {100}},
        {"move assignment over a held one",
         [](RecordingCloser& c) {
             UniqueFd from(100, c);
             UniqueFd to(101, c);
             to = std::move(from);
             EXPECT_EQ(c.closed, std::vector<int>{101});
         },
         {101, 100}},
    };
    for (const Case& c : cases) {
        RecordingCloser closer;
        c.run(closer);
        EXPECT_EQ(closer.closed, c.closed) << c.name;
    }
}

// A close that fails is reported with its error, and the descriptor is not closed again; a
// close on destruction leaves errno as the caller had it.
TEST(UniqueFd, FailedCloseIsReportedOnceAndDestructionKeepsErrno) {
    RecordingCloser closer;
    closer.failing = {100, 101};
    {
        UniqueFd fd(100, closer);
        errno = 0;
        EXPECT_FALSE(fd.close());
        EXPECT_EQ(errno, EIO);
        EXPECT_FALSE(fd);
    }
    {
        UniqueFd fd(101, closer);
        errno = ENOSPC;
    }
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(closer.closed, (std::vector<int>{100, 101}));
}

// Without a closer the descriptor is closed by the system: a pipe end is gone afterwards.
TEST(UniqueFd, RealDescriptorIsClosedOnDestruction) {
    int ends[2] = {-1, -1};
    ASSERT_EQ(::pipe(ends), 0);
    { const UniqueFd read(ends[0]); }
    UniqueFd write(ends[1]);
    EXPECT_EQ(::fcntl(ends[0], F_GETFD), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_TRUE(write.close());
    EXPECT_EQ(::fcntl(ends[1], F_GETFD), -1);
}

}  // namespace
}  // namespace vorlanth::testing
