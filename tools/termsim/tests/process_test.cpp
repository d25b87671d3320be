// Runs vorlanth-termsim as a process and talks to it over a pseudo-terminal and UDP
// with a small scripted client. Every wait is bounded.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// A binary record as the loader frames it.
Bytes record(uint32_t address, const Bytes& data) {
    Bytes frame{'S', '3', static_cast<uint8_t>(data.size() + 5)};
    for (int shift = 24; shift >= 0; shift -= 8) {
        frame.push_back(static_cast<uint8_t>(address >> shift));
    }
    uint32_t sum = 0;
    for (size_t i = 2; i < frame.size(); ++i) {
        sum += frame[i];
    }
    for (uint8_t byte : data) {  // pushed one by one: range inserts trip GCC 12 bounds warnings
        frame.push_back(byte);
        sum += byte;
    }
    frame.push_back(static_cast<uint8_t>(255 - (sum & 0xFF)));
    frame.push_back(0x0D);
    return frame;
}

const Bytes kEndRecord{0x53, 0x37, 0x05, 0x00, 0x00, 0x00, 0x00, 0xFA, 0x0D};

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

void writeText(const std::string& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A scratch directory removed with its files at the end of the test.
class ScratchDirectory {
  public:
    ScratchDirectory() {
        char pattern[] = "/tmp/termsim-test-XXXXXX";
        path_ = ::mkdtemp(pattern);
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

// The terminal process: stdout through a pipe, stderr into a file.
class Termsim {
  public:
    Termsim(std::vector<std::string> arguments, const ScratchDirectory& scratch)
        : stderrPath_(scratch.file("stderr.txt")) {
        int out[2];
        EXPECT_EQ(::pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath_.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::string program = TERMSIM_BINARY;
        std::vector<char*> argv{program.data()};
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        EXPECT_EQ(::posix_spawn(&pid_, TERMSIM_BINARY, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        stdout_ = out[0];
    }

    ~Termsim() {
        if (pid_ > 0 && status_ < 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(stdout_);
    }

    // Reads stdout until a line starts with prefix; returns the rest of that line.
    std::string waitForLine(const std::string& prefix, int timeoutMs = 5000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline) {
            size_t newline;
            while ((newline = output_.find('\n')) != std::string::npos) {
                const std::string line = output_.substr(0, newline);
                output_.erase(0, newline + 1);
                if (line.rfind(prefix, 0) == 0) {
                    return line.substr(prefix.size());
                }
            }
            pollfd fd{stdout_, POLLIN, 0};
            if (::poll(&fd, 1, 100) > 0) {
                char buffer[256];
                const ssize_t got = ::read(stdout_, buffer, sizeof buffer);
                if (got <= 0) {
                    break;
                }
                output_.append(buffer, static_cast<size_t>(got));
            }
        }
        return "";
    }

    // Waits for the process to end; returns its exit status, or -1 on time-out.
    int waitExit(int timeoutMs = 5000) {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (status_ < 0 && Clock::now() < deadline) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return status_;
    }

    void signal(int number) { ::kill(pid_, number); }
    std::string errors() const { return readText(stderrPath_); }

  private:
    std::string stderrPath_;
    pid_t pid_ = -1;
    int stdout_ = -1;
    int status_ = -1;
    std::string output_;
};

// The loader's end of the pseudo-terminal: raw, and reads lines ended by CR.
class SerialClient {
  public:
    explicit SerialClient(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
        termios settings{};
        if (fd_ >= 0 && ::tcgetattr(fd_, &settings) == 0) {
            ::cfmakeraw(&settings);
            ::tcsetattr(fd_, TCSANOW, &settings);
        }
    }
    explicit SerialClient(int fd) : fd_(fd) {}
    ~SerialClient() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    bool open() const { return fd_ >= 0; }

    // Sends the bytes and returns the answer line with its CR ("" after the deadline).
    std::string exchange(const Bytes& bytes, int timeoutMs = 3000) {
        EXPECT_EQ(::write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        std::string line;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline && (line.empty() || line.back() != '\r')) {
            pollfd fd{fd_, POLLIN, 0};
            if (::poll(&fd, 1, 50) > 0) {
                char byte;
                if (::read(fd_, &byte, 1) == 1) {
                    line += byte;
                }
            }
        }
        return line;
    }
    std::string exchange(std::string_view text) { return exchange(bytesOf(text)); }

  private:
    int fd_;
};

// The loader's end of the datagram link: connected to the terminal's port.
class DatagramClient {
  public:
    explicit DatagramClient(uint16_t port) : fd_(::socket(AF_INET, SOCK_DGRAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    ~DatagramClient() { ::close(fd_); }

    // Sends one datagram and collects datagrams until one ends in CR; records their sizes.
    std::string exchange(const Bytes& bytes, int timeoutMs = 3000) {
        EXPECT_EQ(::send(fd_, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
        std::string line;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < deadline && (line.empty() || line.back() != '\r')) {
            pollfd fd{fd_, POLLIN, 0};
            if (::poll(&fd, 1, 50) > 0) {
                char buffer[64];
                const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
                if (got > 0) {
                    largestDatagram = std::max(largestDatagram, static_cast<size_t>(got));
                    line.append(buffer, static_cast<size_t>(got));
                }
            }
        }
        return line;
    }
    std::string exchange(std::string_view text) { return exchange(bytesOf(text)); }

    size_t largestDatagram = 0;

  private:
    int fd_;
};

const char kProgramText[] =
    "S0030000FC\r\n"
    "S3090000100001020304DC\r\n"
    "S3090000100405060708C8\r\n"
    "S70500000000FA\r\n";

// Uploads the program above as the loader frames it: two lines joined into one record.
void uploadRecords(SerialClient& client, uint8_t lastByte = 0x08) {
    ASSERT_EQ(client.exchange("\r"), "FN\r");
    ASSERT_EQ(client.exchange(":ERASE\r"), "FA\r");
    ASSERT_EQ(client.exchange(record(0x1000, {1, 2, 3, 4, 5, 6, 7, lastByte})), "FA\r");
    ASSERT_EQ(client.exchange(kEndRecord), "FA\r");
}

TEST(TermsimProcess, PtyUploadMatchesTheProgramFile) {
    ScratchDirectory scratch;
    writeText(scratch.file("app.shx"), kProgramText);
    Termsim termsim({"--link", scratch.file("com"), "--idle-timeout", "10", "--expect",
                     scratch.file("app.shx"), "--type", "shx", "--image-out",
                     scratch.file("image.bin"), "--srec-out", scratch.file("got.shx")},
                    scratch);
    const std::string ready = termsim.waitForLine("READY pty=");
    ASSERT_NE(ready, "") << termsim.errors();
    EXPECT_NE(ready.find(" link=" + scratch.file("com")), std::string::npos);
    {
        SerialClient client(scratch.file("com"));
        ASSERT_TRUE(client.open());
        uploadRecords(client);
    }
    EXPECT_EQ(termsim.waitForLine("IMAGE "), "base=0x00001000 size=8");
    EXPECT_EQ(termsim.waitExit(), 0) << termsim.errors();
    EXPECT_EQ(readText(scratch.file("image.bin")), std::string("\1\2\3\4\5\6\7\10"));
    EXPECT_NE(readText(scratch.file("got.shx")).find("S30D000010000102030405060708"),
              std::string::npos);
    EXPECT_NE(termsim.errors().find("matches"), std::string::npos) << termsim.errors();
    EXPECT_NE(termsim.errors().find("frames 4 (2 commands, 2 records"), std::string::npos)
        << termsim.errors();
    EXPECT_EQ(::access(scratch.file("com").c_str(), F_OK), -1) << "the link is removed at exit";
}

TEST(TermsimProcess, PtyUploadWithAWrongByteIsAMismatch) {
    ScratchDirectory scratch;
    writeText(scratch.file("app.shx"), kProgramText);
    Termsim termsim({"--idle-timeout", "10", "--expect", scratch.file("app.shx"), "--type", "shx"},
                    scratch);
    const std::string pty = termsim.waitForLine("READY pty=");
    ASSERT_NE(pty, "");
    {
        SerialClient client(pty);
        uploadRecords(client, 0x09);
    }
    EXPECT_EQ(termsim.waitExit(), 1);
    EXPECT_NE(termsim.errors().find("MISMATCH"), std::string::npos) << termsim.errors();
    EXPECT_NE(termsim.errors().find("at 0x00001007: file has 0x08, terminal has 0x09"),
              std::string::npos)
        << termsim.errors();
}

TEST(TermsimProcess, RetryAfterARefusedRecordCompletesTheSession) {
    ScratchDirectory scratch;
    writeText(scratch.file("app.shx"), kProgramText);
    // Frame 3 is the first record: refused, so the loader starts over.
    Termsim termsim({"--fault-at", "3:ff", "--trace", "--idle-timeout", "10", "--expect",
                     scratch.file("app.shx"), "--type", "shx"},
                    scratch);
    const std::string pty = termsim.waitForLine("READY pty=");
    ASSERT_NE(pty, "");
    {
        SerialClient client(pty);
        ASSERT_EQ(client.exchange("\r"), "FN\r");
        ASSERT_EQ(client.exchange(":ERASE\r"), "FA\r");
        ASSERT_EQ(client.exchange(record(0x1000, {1, 2, 3, 4, 5, 6, 7, 8})), "FF\r");
    }
    {
        SerialClient retry(pty);
        uploadRecords(retry);
    }
    EXPECT_EQ(termsim.waitExit(), 0) << termsim.errors();
    EXPECT_NE(termsim.errors().find("#3 "), std::string::npos);
    EXPECT_NE(termsim.errors().find("-> \"FF\" [fault ff]"), std::string::npos) << termsim.errors();
    EXPECT_NE(termsim.errors().find("faults injected 1"), std::string::npos);
}

TEST(TermsimProcess, ExistingSerialDeviceServesAnUpload) {
    ScratchDirectory scratch;
    // A pseudo-terminal made here stands in for the serial cable: termsim gets its slave.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string device = ::ptsname(master);
    Termsim termsim({"--device", device, "--baud", "57600", "--idle-timeout", "10"}, scratch);
    EXPECT_EQ(termsim.waitForLine("READY device="), device);
    {
        SerialClient client(master);
        uploadRecords(client);
        EXPECT_EQ(termsim.waitExit(), 0) << termsim.errors();
    }
}

TEST(TermsimProcess, SignalOrSilenceEndsTheRunWithOutputsWritten) {
    ScratchDirectory scratch;
    Termsim stopped({"--image-out", scratch.file("part.bin")}, scratch);
    const std::string pty = stopped.waitForLine("READY pty=");
    ASSERT_NE(pty, "");
    {
        SerialClient client(pty);
        ASSERT_EQ(client.exchange("\r"), "FN\r");
        ASSERT_EQ(client.exchange(":ERASE\r"), "FA\r");
        ASSERT_EQ(client.exchange(record(0x20, {0xAB})), "FA\r");
    }
    stopped.signal(SIGTERM);
    EXPECT_EQ(stopped.waitExit(), 2);
    EXPECT_EQ(readText(scratch.file("part.bin")), "\xAB");
    EXPECT_NE(stopped.errors().find("stopped by signal"), std::string::npos) << stopped.errors();

    const auto start = Clock::now();
    Termsim idle({"--udp", "0", "--idle-timeout", "1"}, scratch);
    ASSERT_NE(idle.waitForLine("READY udp=127.0.0.1:"), "");
    EXPECT_EQ(idle.waitExit(4000), 2);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
    EXPECT_NE(idle.errors().find("stopped by idle timeout"), std::string::npos) << idle.errors();
}

TEST(TermsimProcess, UdpBasicUploadInChecksumModeMatches) {
    ScratchDirectory scratch;
    Bytes program = bytesOf("QBXHEAD1");
    program.insert(program.end(), {1, 0});  // N = 1, so P = 1
    program.resize(program.size() + 128, 0x42);
    program.insert(program.end(), {1, 0});  // M = 1
    program.resize(program.size() + 64, 0x43);
    writeText(scratch.file("prog.v1.qbx"), std::string(program.begin(), program.end()));
    writeText(scratch.file("prog.ini"), "Port=3\r\n");
    Termsim termsim(
        {"--udp", "0", "--entry", "long", "--basic", "checksum", "--idle-timeout", "10", "--expect",
         scratch.file("prog.v1.qbx"), "--type", "qbx", "--basic-out", scratch.file("got.qbx")},
        scratch);
    const std::string port = termsim.waitForLine("READY udp=127.0.0.1:");
    ASSERT_NE(port, "");
    DatagramClient client(static_cast<uint16_t>(std::stoi(port)));
    EXPECT_EQ(client.exchange("\r"), "\r");
    EXPECT_EQ(client.exchange("MERIDOX\r"), "ACK1\r");
    EXPECT_EQ(client.largestDatagram, 3u) << "\"ACK1\\r\" travels as \"ACK\" and \"1\\r\"";
    EXPECT_EQ(client.exchange("TOLVEX\r"), "FK\r");
    EXPECT_EQ(client.exchange("000300\r"), "ACK\r");
    Bytes companion = bytesOf("Port=3\r\n");
    companion.resize(100, 0);
    std::vector<Bytes> blocks{companion};
    for (size_t offset = 0; offset < program.size();) {
        const size_t size = offset < 8 ? 8 : (offset == 8 || offset == 138) ? 2 : 64;
        blocks.emplace_back(program.begin() + static_cast<long>(offset),
                            program.begin() + static_cast<long>(offset + size));
        offset += size;
    }
    for (Bytes block : blocks) {
        unsigned sum = 0;
        for (uint8_t byte : block) {
            sum += byte;
        }
        block.push_back(static_cast<uint8_t>(255 - (sum & 0xFF)));
        EXPECT_EQ(client.exchange(block), "ACK\r");
    }
    EXPECT_EQ(client.exchange("END\r"), "ACK\r");
    EXPECT_EQ(termsim.waitExit(), 0) << termsim.errors();
    EXPECT_EQ(readText(scratch.file("got.qbx")), std::string(program.begin(), program.end()));
    EXPECT_LE(client.largestDatagram, 3u);
}

}  // namespace
