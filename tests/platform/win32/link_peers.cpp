// The Win32 far ends of the link tests: a Winsock endpoint on 127.0.0.1, and a COM port whose
// far end a script runs outside this process.
#include <winsock2.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "tests/platform/link_peers.h"

namespace vorlanth::platform_tests {

namespace {

// A Winsock datagram endpoint on 127.0.0.1 answering on its own thread; it holds a Winsock
// start-up of its own for its lifetime.
class WinsockLoopbackPeer final : public LoopbackPeer {
  public:
    WinsockLoopbackPeer() {
        WSADATA data{};
        WSAStartup(MAKEWORD(2, 2), &data);
        socket_ = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in self{};
        self.sin_family = AF_INET;
        self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(socket_, reinterpret_cast<sockaddr*>(&self), sizeof self);
        int length = sizeof self;
        getsockname(socket_, reinterpret_cast<sockaddr*>(&self), &length);
        port_ = ntohs(self.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~WinsockLoopbackPeer() override {
        stop_ = true;
        thread_.join();
        closesocket(socket_);
        WSACleanup();
    }
    std::uint16_t port() override { return port_; }
    Bytes takeReceived() override {
        const std::lock_guard<std::mutex> lock(mutex_);
        Bytes taken;
        taken.swap(received_);
        return taken;
    }

  private:
    // Answers each datagram to its sender until stopped; waits in 50 ms steps.
    void serve() {
        while (!stop_) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(socket_, &readable);
            timeval wait{0, 50000};
            if (select(0, &readable, nullptr, nullptr, &wait) <= 0) {
                continue;
            }
            char buffer[512];
            sockaddr_in sender{};
            int length = sizeof sender;
            const int count = recvfrom(socket_, buffer, sizeof buffer, 0,
                                       reinterpret_cast<sockaddr*>(&sender), &length);
            if (count == SOCKET_ERROR) {
                continue;
            }
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                received_.insert(received_.end(), buffer, buffer + count);
            }
            for (const Reply& reply :
                 farEndReplies(std::string_view(buffer, static_cast<std::size_t>(count)))) {
                std::this_thread::sleep_for(std::chrono::milliseconds(reply.delayMs));
                sendto(socket_, reply.bytes.data(), static_cast<int>(reply.bytes.size()), 0,
                       reinterpret_cast<sockaddr*>(&sender), length);
            }
        }
    }

    SOCKET socket_ = INVALID_SOCKET;
    std::uint16_t port_ = 0;
    std::mutex mutex_;
    Bytes received_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A COM port whose far end a script started (tests/wine/link_serial.sh): the port number
// comes in VORLANTH_TEST_COM.
class ScriptedFarEnd final : public SerialFarEnd {
  public:
    explicit ScriptedFarEnd(int comPort) : comPort_(comPort) {}
    int comPort() override { return comPort_; }
    std::optional<Bytes> takeReceived() override { return std::nullopt; }

    // GetCommState through a second handle of the port, which Wine grants while the first is
    // open (Windows refuses it: nothing then).
    std::optional<ObservedLine> observeLine() override {
        char name[16];
        std::snprintf(name, sizeof name, "\\\\.\\COM%d", comPort_);
        HANDLE second =
            CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (second == INVALID_HANDLE_VALUE) {
            return std::nullopt;
        }
        DCB dcb{};
        dcb.DCBlength = sizeof(DCB);
        const bool read = GetCommState(second, &dcb) != FALSE;
        CloseHandle(second);
        if (!read) {
            return std::nullopt;
        }
        ObservedLine line;
        line.rate = dcb.BaudRate;
        line.dataBits = dcb.ByteSize;
        line.parity = dcb.Parity != NOPARITY;
        line.twoStopBits = dcb.StopBits == TWOSTOPBITS;
        line.ctsFlow = dcb.fOutxCtsFlow != 0;
        line.xonXoffOutput = dcb.fOutX != 0;
        return line;
    }

  private:
    int comPort_;
};

double millisecondsOf(const FILETIME& time) {
    ULARGE_INTEGER value{};
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 10000.0;
}

}  // namespace

// GetProcessHandleCount; a count of 0 (Wine answers so, counting nothing) is no count.
std::optional<int> openHandleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) == FALSE || count == 0) {
        return std::nullopt;
    }
    return static_cast<int>(count);
}

double processCpuMs() {
    FILETIME created{}, exited{}, kernel{}, user{};
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    return millisecondsOf(kernel) + millisecondsOf(user);
}

std::unique_ptr<LoopbackPeer> LoopbackPeer::start() {
    return std::make_unique<WinsockLoopbackPeer>();
}

// Only the terminal's role: the script does not play a cradle.
std::unique_ptr<SerialFarEnd> SerialFarEnd::start(FarEndRole role) {
    const char* number = std::getenv("VORLANTH_TEST_COM");
    if (role != FarEndRole::Terminal || number == nullptr || std::atoi(number) <= 0) {
        return nullptr;
    }
    return std::make_unique<ScriptedFarEnd>(std::atoi(number));
}

}  // namespace vorlanth::platform_tests
