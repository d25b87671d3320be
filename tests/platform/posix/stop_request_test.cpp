// A stop of the run by signal, in a child process of its own (the request stays set for the
// rest of a process): every kind of wait the loader does ends within a moment of SIGINT,
// SIGTERM or SIGHUP, the signal is reported, and SIGPIPE no longer kills.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "link/link.h"
#include "platform/platform.h"
#include "platform/stop_request.h"
#include "platform/terminal.h"

namespace vorlanth::testing {
namespace {

using Clock = std::chrono::steady_clock;

enum class Wait { Sleep, SerialLine, Datagram, AnswerLine };

constexpr int kComPort = 12;

// Exit codes of the child: 0 the wait ended as it should; others say what went wrong.
constexpr int kWrongResult = 10;
constexpr int kWrongSignal = 11;
constexpr int kSetUpFailed = 12;

// In the child: installs the handlers, says it is ready, and waits the way given; the
// parent's signal must end the wait. Never returns.
[[noreturn]] void waitInChild(Wait wait, int readyPipe, int expectedSignal) {
    platform::installStopHandlers();
    auto system = platform::makeSystemPlatform();
    link::LinkState state;
    ResponseLine line;
    UploadSettings settings;
    FailureDetail failure;
    WarningSink warnings;
    link::Link realLink{state, line, settings, *system, nullptr, failure, warnings};
    int master = -1;
    int silentPeer = -1;
    if (wait == Wait::SerialLine) {
        char name[256] = {};
        int slave = -1;
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            _exit(kSetUpFailed);
        }
        close(slave);
        setenv(("VORLANTH_COM" + std::to_string(kComPort)).c_str(), name, 1);
        settings.linkType = Serial;
        settings.comPort = kComPort;
        if (link::openLink(realLink) != ResultCode::Done) {
            _exit(kSetUpFailed);
        }
    } else if (wait == Wait::Datagram) {
        // A loopback endpoint that never answers.
        silentPeer = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in self{};
        self.sin_family = AF_INET;
        self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof self;
        if (bind(silentPeer, reinterpret_cast<sockaddr*>(&self), sizeof self) != 0 ||
            getsockname(silentPeer, reinterpret_cast<sockaddr*>(&self), &length) != 0) {
            _exit(kSetUpFailed);
        }
        settings.linkType = Network;
        settings.targetAddress.assign("127.0.0.1");
        settings.targetPort = ntohs(self.sin_port);
        if (link::openLink(realLink) != ResultCode::Done) {
            _exit(kSetUpFailed);
        }
    } else if (wait == Wait::AnswerLine) {
        // Standard input that nobody will ever write to.
        int ends[2];
        if (pipe(ends) != 0 || dup2(ends[0], STDIN_FILENO) < 0) {
            _exit(kSetUpFailed);
        }
    }
    const char ready = 1;
    if (write(readyPipe, &ready, 1) != 1) {
        _exit(kSetUpFailed);
    }
    bool ended = false;
    switch (wait) {
        case Wait::Sleep:
            system->clock().sleep(20000);
            ended = true;
            break;
        case Wait::SerialLine:
        case Wait::Datagram:
            ended = link::readResponseLine(realLink, 20) == ResultCode::Failed;
            break;
        case Wait::AnswerLine: {
            std::string answer;
            ended = !platform::readStandardInputLine(answer);
            break;
        }
    }
    if (!ended) {
        _exit(kWrongResult);
    }
    _exit(platform::stopSignal() == expectedSignal && system->stopRequested() == expectedSignal
              ? 0
              : kWrongSignal);
}

TEST(StopRequest, EveryWaitEndsPromptlyOnEachStopSignal) {
    struct WaitCase {
        Wait wait;
        const char* name;
    };
    const WaitCase waits[] = {{Wait::Sleep, "clock sleep"},
                              {Wait::SerialLine, "silent serial line"},
                              {Wait::Datagram, "silent datagram peer"},
                              {Wait::AnswerLine, "answer at a prompt"}};
    for (const WaitCase& w : waits) {
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            SCOPED_TRACE(std::string(w.name) + ", signal " + std::to_string(signal));
            int ready[2];
            ASSERT_EQ(pipe(ready), 0);
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                close(ready[0]);
                waitInChild(w.wait, ready[1], signal);
            }
            close(ready[1]);
            pollfd waiter{ready[0], POLLIN, 0};
            ASSERT_EQ(poll(&waiter, 1, 10000), 1) << "the child did not get ready";
            close(ready[0]);
            // Let the child enter its wait, then stop it.
            timespec pause{0, 200 * 1000 * 1000};
            nanosleep(&pause, nullptr);
            const auto sent = Clock::now();
            ASSERT_EQ(kill(child, signal), 0);
            int status = 0;
            pid_t ended = 0;
            while ((ended = waitpid(child, &status, WNOHANG)) == 0 &&
                   Clock::now() - sent < std::chrono::seconds(5)) {
                timespec step{0, 5 * 1000 * 1000};
                nanosleep(&step, nullptr);
            }
            if (ended == 0) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                FAIL() << "the wait did not end";
            }
            const double ms =
                std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
            ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
            EXPECT_EQ(WEXITSTATUS(status), 0);
            EXPECT_LT(ms, 500.0);
        }
    }
}

// With the handlers installed a write to a pipe nobody reads fails with EPIPE instead of
// killing the process.
TEST(StopRequest, AClosedPipeNoLongerKills) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        platform::installStopHandlers();
        int ends[2];
        if (pipe(ends) != 0) {
            _exit(kSetUpFailed);
        }
        close(ends[0]);
        const ssize_t written = write(ends[1], "x", 1);
        _exit(written < 0 && errno == EPIPE && platform::stopSignal() == 0 ? 0 : kWrongResult);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace vorlanth::testing
