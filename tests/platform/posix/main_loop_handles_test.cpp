// A thousand passes of the main loop, each with a retry, over the real POSIX platform: real
// program files, a real pseudo-terminal and a real UDP socket, answered by an in-process
// terminal. Every descriptor a pass opens must be closed again; LeakSanitizer (the sanitizer
// build) reports any allocation the passes leave behind.

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>

#include "platform/platform.h"
#include "shell/main_loop.h"
#include "shell/session.h"
#include "tests/fakes/recording_front_end.h"

namespace vorlanth {
namespace {

constexpr int kPassesPerLink = 500;
constexpr int kComPort = 9;

// Number of descriptors this process has open, as /proc/self/fd lists them.
int openDescriptorCount() {
    int count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

// The terminal's side of an S-record upload, just enough for the loop: "\r" gets "FN"
// (already in download mode), ":ERASE\r" and the end record get "FA". Data records are
// refused ("FF") three times out of four, so with the answers Yes and then No to the retry
// question every second pass fails twice and the others succeed on their retry.
class ScriptedTerminal {
  public:
    // The answer to one whole frame.
    std::string answer(std::string_view frame) {
        if (frame.size() >= 2 && frame[0] == 'S' && frame[1] == '3') {
            return records_++ % 4 == 3 ? "FA\r" : "FF\r";
        }
        return frame == "\r" ? "FN\r" : "FA\r";
    }

    // Length of the first whole frame of a byte stream, 0 while it is incomplete: a lone
    // CR, a command text up to its CR, or a binary record of its count plus four bytes.
    static std::size_t frameLength(std::string_view stream) {
        if (stream.empty()) {
            return 0;
        }
        if (stream[0] == 'S') {
            if (stream.size() < 3) {
                return 0;
            }
            const std::size_t length = static_cast<std::uint8_t>(stream[2]) + 4U;
            return stream.size() >= length ? length : 0;
        }
        const std::size_t end = stream.find('\r');
        return end == std::string_view::npos ? 0 : end + 1;
    }

  private:
    std::uint64_t records_ = 0;
};

// Runs a serving function on a thread of its own until destroyed.
class ServingThread {
  public:
    template <typename Serve>
    explicit ServingThread(Serve serve)
        : thread_([this, serve] {
              while (!stop_) {
                  serve();
              }
          }) {}
    ~ServingThread() {
        stop_ = true;
        thread_.join();
    }
    ServingThread(const ServingThread&) = delete;
    ServingThread& operator=(const ServingThread&) = delete;

  private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A descriptor closed on destruction.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// A pseudo-terminal whose slave is COM port kComPort. The test keeps a slave descriptor of
// its own open so the master never sees a hang-up while the loader reopens the port.
class PtyTerminal {
  public:
    PtyTerminal() {
        int master = -1;
        int slave = -1;
        char name[256] = {};
        openpty(&master, &slave, name, nullptr, nullptr);
        master_ = std::make_unique<Descriptor>(master);
        slave_ = std::make_unique<Descriptor>(slave);
        setenv(("VORLANTH_COM" + std::to_string(kComPort)).c_str(), name, 1);
        thread_ = std::make_unique<ServingThread>([this] { serveOnce(); });
    }

  private:
    // Waits up to 20 ms for bytes and answers every whole frame they complete.
    void serveOnce() {
        pollfd waiter{master_->get(), POLLIN, 0};
        if (poll(&waiter, 1, 20) <= 0 || (waiter.revents & POLLIN) == 0) {
            return;
        }
        char buffer[512];
        const ssize_t count = read(master_->get(), buffer, sizeof buffer);
        if (count <= 0) {
            return;
        }
        stream_.append(buffer, static_cast<std::size_t>(count));
        while (const std::size_t length = ScriptedTerminal::frameLength(stream_)) {
            const std::string reply = terminal_.answer(std::string_view(stream_).substr(0, length));
            [[maybe_unused]] const ssize_t written =
                write(master_->get(), reply.data(), reply.size());
            stream_.erase(0, length);
        }
    }

    std::unique_ptr<Descriptor> master_;
    std::unique_ptr<Descriptor> slave_;
    ScriptedTerminal terminal_;
    std::string stream_;
    std::unique_ptr<ServingThread> thread_;  // last: stops before the descriptors close
};

// A UDP endpoint on 127.0.0.1 answering each datagram, one frame each, to its sender.
class UdpTerminal {
  public:
    UdpTerminal() : socket_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in self{};
        self.sin_family = AF_INET;
        self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(socket_.get(), reinterpret_cast<sockaddr*>(&self), sizeof self);
        socklen_t length = sizeof self;
        getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&self), &length);
        port_ = ntohs(self.sin_port);
        thread_ = std::make_unique<ServingThread>([this] { serveOnce(); });
    }
    std::uint16_t port() const { return port_; }

  private:
    // Waits up to 20 ms for a datagram and answers it.
    void serveOnce() {
        pollfd waiter{socket_.get(), POLLIN, 0};
        if (poll(&waiter, 1, 20) <= 0) {
            return;
        }
        char buffer[512];
        sockaddr_in sender{};
        socklen_t length = sizeof sender;
        const ssize_t count = recvfrom(socket_.get(), buffer, sizeof buffer, 0,
                                       reinterpret_cast<sockaddr*>(&sender), &length);
        if (count <= 0) {
            return;
        }
        const std::string reply =
            terminal_.answer(std::string_view(buffer, static_cast<std::size_t>(count)));
        sendto(socket_.get(), reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&sender),
               length);
    }

    Descriptor socket_;
    std::uint16_t port_ = 0;
    ScriptedTerminal terminal_;
    std::unique_ptr<ServingThread> thread_;  // last: stops before the socket closes
};

// Runs kPassesPerLink Interactive passes over the session's link as set, answering the
// retry question Yes and then No, and checks what the user was shown.
void runPasses(Session& session, fakes::RecordingFrontEnd& frontEnd) {
    frontEnd.messages.clear();
    for (int pass = 0; pass < kPassesPerLink; ++pass) {
        frontEnd.formScript.push_back([](Session&) { return SettingsOutcome::Upload; });
        frontEnd.retryAnswers.push_back(true);
        if (pass % 2 == 0) {
            frontEnd.retryAnswers.push_back(false);
        }
    }
    shell::runMainLoop(session);
    const std::vector<std::string> texts = frontEnd.texts();
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Uploaded successfully!"), kPassesPerLink / 2);
    EXPECT_EQ(std::count(texts.begin(), texts.end(), "Failed to Upload, would you like to retry?"),
              kPassesPerLink * 3 / 2);
    EXPECT_EQ(texts.size(), static_cast<std::size_t>(kPassesPerLink * 2));
    EXPECT_TRUE(frontEnd.retryAnswers.empty());
}

TEST(MainLoopOnThisSystem, ThousandPassesWithRetriesCloseEveryDescriptor) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("vorlanth-handles-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path program = folder / "app.shx";
    std::ofstream(program, std::ios::binary) << "S3090000100001020304DC\r\nS70500000000FA\r\n";

    const int before = openDescriptorCount();
    {
        PtyTerminal pty;
        UdpTerminal udp;
        const std::unique_ptr<platform::Platform> system = platform::makeSystemPlatform();
        fakes::RecordingFrontEnd frontEnd;
        Session session(*system, frontEnd);
        session.settings.programPath.assign(program.string());
        session.settings.fileType = SRecord;
        session.settings.executionMode = Interactive;

        session.settings.linkType = Serial;
        session.settings.comPort = kComPort;
        runPasses(session, frontEnd);

        session.settings.linkType = Network;
        session.settings.targetAddress.assign("127.0.0.1");
        session.settings.targetPort = udp.port();
        runPasses(session, frontEnd);
    }
    EXPECT_EQ(openDescriptorCount(), before);
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace vorlanth
