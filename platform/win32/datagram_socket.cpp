#include <winsock2.h>

#include <windows.h>

#include <cstring>

#include "platform/system_parts.h"

namespace vorlanth::platform {

namespace {

// Most datagrams drained by one discardPending, so that a flooding peer cannot hold it.
constexpr int kDrainLimit = 1024;

// True when a datagram (or an error) waits on the socket within waitMs.
bool waitReadable(SOCKET socketHandle, std::uint32_t waitMs) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socketHandle, &readable);
    timeval wait{};
    wait.tv_sec = static_cast<long>(waitMs / 1000);
    wait.tv_usec = static_cast<long>(waitMs % 1000) * 1000;
    return select(0, &readable, nullptr, nullptr, &wait) > 0;
}

// A Winsock datagram socket, closed with closesocket on destruction.
class WinsockDatagramSocket final : public DatagramSocket {
  public:
    explicit WinsockDatagramSocket(SOCKET socketHandle) : socket_(socketHandle) {}
    ~WinsockDatagramSocket() override { closesocket(socket_); }
    WinsockDatagramSocket(const WinsockDatagramSocket&) = delete;
    WinsockDatagramSocket& operator=(const WinsockDatagramSocket&) = delete;

    // connect to address:port, the first address byte most significant.
    bool connect(std::array<std::uint8_t, 4> address, std::uint16_t port) override {
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(port);
        std::memcpy(&peer.sin_addr.s_addr, address.data(), address.size());
        return ::connect(socket_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0;
    }

    // send of one datagram.
    std::int64_t send(std::span<const std::uint8_t> bytes) override {
        const int sent = ::send(socket_, reinterpret_cast<const char*>(bytes.data()),
                                static_cast<int>(bytes.size()), 0);
        return sent == SOCKET_ERROR ? -1 : sent;
    }

    // select for at most waitMs, then recv. recv fails for a datagram longer than the buffer
    // (its excess is lost) and for a refused earlier send.
    ReceiveResult receive(std::span<std::uint8_t> buffer, std::uint32_t waitMs) override {
        if (!waitReadable(socket_, waitMs)) {
            return {ReceiveStatus::TimedOut, 0};
        }
        const int count = recv(socket_, reinterpret_cast<char*>(buffer.data()),
                               static_cast<int>(buffer.size()), 0);
        if (count == SOCKET_ERROR) {
            return {ReceiveStatus::Failed, 0};
        }
        return {ReceiveStatus::Received, static_cast<std::size_t>(count)};
    }

    // Reads and drops every datagram already queued, without waiting.
    void discardPending() override {
        char scrap[2048];
        for (int i = 0; i < kDrainLimit && waitReadable(socket_, 0); ++i) {
            recv(socket_, scrap, sizeof scrap, 0);
        }
    }

  private:
    SOCKET socket_;
};

// Winsock, asked for version 1.1.
class WinsockLibrary final : public SocketLibrary {
  public:
    // WSAStartup asking for 1.1; the version granted is not examined.
    bool startup() override {
        WSADATA data{};
        return WSAStartup(MAKEWORD(1, 1), &data) == 0;
    }
    // WSACleanup, matching one start-up.
    void cleanup() override { WSACleanup(); }
    // socket(AF_INET, SOCK_DGRAM, 0).
    std::unique_ptr<DatagramSocket> createDatagramSocket() override {
        const SOCKET created = socket(AF_INET, SOCK_DGRAM, 0);
        if (created == INVALID_SOCKET) {
            return nullptr;
        }
        return std::make_unique<WinsockDatagramSocket>(created);
    }
};

}  // namespace

std::unique_ptr<SocketLibrary> makeSystemSocketLibrary() {
    return std::make_unique<WinsockLibrary>();
}

}  // namespace vorlanth::platform
