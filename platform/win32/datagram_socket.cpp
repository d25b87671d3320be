// The Win32 datagram socket and sockets library: Winsock asked for version 1.1, waits in
// select slices so that a stop request is seen, host names through getaddrinfo.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "platform/system_parts.h"
#include "platform/win32/stop_wait.h"
#include "platform/win32/system_error.h"

namespace vorlanth::platform {

namespace {

// Most datagrams drained by one discardPending, so that a flooding peer cannot hold it.
constexpr int kDrainLimit = 1024;

// True when a stop of the run has been requested.
bool stopIsRequested() {
    return stopEvent() != nullptr && WaitForSingleObject(stopEvent(), 0) == WAIT_OBJECT_0;
}

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
    Status connect(Ipv4Address address, std::uint16_t port) override {
        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(port);
        std::memcpy(&peer.sin_addr.s_addr, address.data(), address.size());
        peer_ = endpointText(address, port);
        if (::connect(socket_, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
            return systemFailure(peer_, "cannot connect", WSAGetLastError());
        }
        return {};
    }

    // send of one datagram; a refusal says why.
    Status send(std::span<const std::uint8_t> bytes) override {
        if (::send(socket_, reinterpret_cast<const char*>(bytes.data()),
                   static_cast<int>(bytes.size()), 0) == SOCKET_ERROR) {
            return systemFailure(peer_, "cannot send", WSAGetLastError());
        }
        return {};
    }

    // select for at most waitMs, in slices of kStopSliceMs so that a stop request is seen
    // (a stop ends the wait as a time-out), then recv. recv fails for a datagram longer than
    // the buffer (its excess is lost) and for a refused earlier send.
    Result<std::optional<std::size_t>> receive(std::span<std::uint8_t> buffer,
                                               std::uint32_t waitMs) override {
        if (stopIsRequested() ||
            !waitReadable(socket_, std::min<std::uint32_t>(waitMs, kStopSliceMs))) {
            return std::optional<std::size_t>();
        }
        const int count = recv(socket_, reinterpret_cast<char*>(buffer.data()),
                               static_cast<int>(buffer.size()), 0);
        if (count == SOCKET_ERROR) {
            const int error = WSAGetLastError();
            if (error == WSAEMSGSIZE) {
                return objectFailure(
                    peer_, "an answer longer than " + std::to_string(buffer.size()) + " bytes");
            }
            return systemFailure(peer_, "cannot receive", error);
        }
        return std::optional<std::size_t>(static_cast<std::size_t>(count));
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
    std::string peer_;
};

// Winsock, asked for version 1.1.
class WinsockLibrary final : public SocketLibrary {
  public:
    // WSAStartup asking for 1.1; the version granted is not examined.
    Status startup() override {
        WSADATA data{};
        const int error = WSAStartup(MAKEWORD(1, 1), &data);
        if (error != 0) {
            return systemFailure("Winsock", "cannot start", static_cast<unsigned long>(error));
        }
        return {};
    }
    // WSACleanup, matching one start-up.
    void cleanup() override { WSACleanup(); }
    // socket(AF_INET, SOCK_DGRAM, 0).
    Result<std::unique_ptr<DatagramSocket>> createDatagramSocket() override {
        const SOCKET created = socket(AF_INET, SOCK_DGRAM, 0);
        if (created == INVALID_SOCKET) {
            return systemFailure("UDP socket", "cannot create", WSAGetLastError());
        }
        return std::unique_ptr<DatagramSocket>(std::make_unique<WinsockDatagramSocket>(created));
    }

    // getaddrinfo from ws2_32 for IPv4 only, inside a start-up of its own (getaddrinfo needs
    // the library started); its own time-outs bound the wait.
    Result<Ipv4Address> resolveHostName(const std::string& name) override {
        WSADATA data{};
        const int started = WSAStartup(MAKEWORD(2, 2), &data);
        if (started != 0) {
            return systemFailure("Winsock", "cannot start", static_cast<unsigned long>(started));
        }
        Result<Ipv4Address> address = Ipv4Address{};
        {
            addrinfo hints{};
            hints.ai_family = AF_INET;
            hints.ai_socktype = SOCK_DGRAM;
            addrinfo* list = nullptr;
            const int status = getaddrinfo(name.c_str(), nullptr, &hints, &list);
            // Freed before the clean-up below.
            const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> found(list, freeaddrinfo);
            if (status != 0 || !found) {
                FailureDetail detail = systemFailure(
                    name, "the name does not resolve to an IPv4 address",
                    static_cast<unsigned long>(status != 0 ? status : WSAHOST_NOT_FOUND));
                detail.kind = FailureKind::Address;
                address = std::move(detail);
            } else {
                Ipv4Address bytes{};
                const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
                std::memcpy(bytes.data(), &ipv4->sin_addr.s_addr, bytes.size());
                address = bytes;
            }
        }
        WSACleanup();
        return address;
    }
};

}  // namespace

std::unique_ptr<SocketLibrary> makeSystemSocketLibrary() {
    return std::make_unique<WinsockLibrary>();
}

}  // namespace vorlanth::platform
