// The fake serial port and datagram socket: what a test scripts arrives on the virtual clock,
// what the loader sends is recorded with its tick.
#include "tests/fakes/fake_link.h"

#include <algorithm>

namespace vorlanth::fakes {

Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

namespace {

// A failure as a platform would report it, with an errno-style number.
FailureDetail fakeFailure(std::string object, std::string reason, int error) {
    FailureDetail detail;
    detail.kind = FailureKind::System;
    detail.object = std::move(object);
    detail.reason = std::move(reason);
    detail.osErrorKind = OsErrorKind::Errno;
    detail.osError = error;
    detail.osMessage = "error " + std::to_string(error);
    return detail;
}

constexpr int kFakeIoError = 5;

}  // namespace

void FakeSerialLine::deliver(std::span<const std::uint8_t> bytes, std::uint32_t delayMs) {
    std::uint32_t tick = clock.tickCount() + delayMs;
    if (!input.empty() && platform::tickIsAfter(input.back().tick, tick)) {
        tick = input.back().tick;  // bytes on a line arrive in order
    }
    for (std::uint8_t byte : bytes) {
        input.push_back({byte, tick});
    }
}

Bytes FakeSerialLine::written() const {
    Bytes all;
    for (const TimedWrite& write : writes) {
        all.insert(all.end(), write.bytes.begin(), write.bytes.end());
    }
    return all;
}

FakeSerialPort::FakeSerialPort(FakeSerialLine& line) : line_(line) {
    ++line_.openCount;
    line_.isOpen = true;
}

FakeSerialPort::~FakeSerialPort() {
    ++line_.closeCount;
    line_.isOpen = false;
}

Status FakeSerialPort::applyLine(const platform::SerialLine& line) {
    line_.appliedLines.push_back(line);
    if (line_.refuseLines) {
        return *line_.refuseLines;
    }
    line_.current = line;
    return {};
}

Status FakeSerialPort::setWriteTimeout(const platform::WriteTimeout& timeout) {
    line_.writeTimeouts.push_back(timeout);
    return {};
}

Result<std::size_t> FakeSerialPort::write(std::span<const std::uint8_t> bytes) {
    if (line_.writesFail) {
        return fakeFailure("fake-serial", "the line was lost", kFakeIoError);
    }
    line_.writes.push_back({Bytes(bytes.begin(), bytes.end()), line_.clock.tickCount()});
    if (line_.responder) {
        line_.responder(line_, bytes);
    }
    return bytes.size();
}

Result<std::optional<std::uint8_t>> FakeSerialPort::readByte(std::uint32_t waitMs) {
    ++line_.readCalls;
    line_.readWaits.push_back(waitMs);
    if (line_.readsFail) {
        return fakeFailure("fake-serial", "the line was lost", kFakeIoError);
    }
    const std::uint32_t now = line_.clock.tickCount();
    if (!line_.input.empty() && !platform::tickIsAfter(line_.input.front().tick, now + waitMs)) {
        line_.clock.advanceTo(line_.input.front().tick);
        const std::uint8_t byte = line_.input.front().byte;
        line_.input.pop_front();
        return std::optional<std::uint8_t>(byte);
    }
    line_.clock.advance(waitMs);
    return std::optional<std::uint8_t>();
}

void FakeSerialPort::purge() {
    ++line_.purgeCount;
    discardInput();
}

void FakeSerialPort::discardInput() {
    ++line_.discardCount;
    const std::uint32_t now = line_.clock.tickCount();
    while (!line_.input.empty() && !platform::tickIsAfter(line_.input.front().tick, now)) {
        line_.input.pop_front();
    }
}

void FakeDatagramPeer::deliver(std::span<const std::uint8_t> datagram, std::uint32_t delayMs) {
    input.push_back({Bytes(datagram.begin(), datagram.end()), clock.tickCount() + delayMs});
}

FakeDatagramSocket::FakeDatagramSocket(FakeDatagramPeer& peer) : peer_(peer) {
    ++peer_.socketsOpen;
}
FakeDatagramSocket::~FakeDatagramSocket() {
    --peer_.socketsOpen;
}

Status FakeDatagramSocket::connect(platform::Ipv4Address address, std::uint16_t port) {
    peer_.connectedAddress = address;
    peer_.connectedPort = port;
    if (peer_.connectFails) {
        return fakeFailure("fake-peer", "cannot connect", 101);
    }
    return {};
}

// A refused datagram never reaches the peer.
Status FakeDatagramSocket::send(std::span<const std::uint8_t> bytes) {
    if (peer_.sendsFail) {
        return fakeFailure("fake-peer", "cannot send", 111);
    }
    peer_.sent.push_back({Bytes(bytes.begin(), bytes.end()), peer_.clock.tickCount()});
    if (peer_.responder) {
        peer_.responder(peer_, bytes);
    }
    return {};
}

Result<std::optional<std::size_t>> FakeDatagramSocket::receive(std::span<std::uint8_t> buffer,
                                                               std::uint32_t waitMs) {
    if (peer_.receivesFail) {
        return fakeFailure("fake-peer", "cannot receive", 111);
    }
    const std::uint32_t now = peer_.clock.tickCount();
    // Datagrams may be queued out of order by delay; the earliest arrival comes first.
    auto next = std::min_element(
        peer_.input.begin(), peer_.input.end(),
        [](const auto& a, const auto& b) { return platform::tickIsAfter(b.tick, a.tick); });
    if (next == peer_.input.end() || platform::tickIsAfter(next->tick, now + waitMs)) {
        peer_.clock.advance(waitMs);
        return std::optional<std::size_t>();
    }
    peer_.clock.advanceTo(next->tick);
    const Bytes datagram = next->bytes;
    peer_.input.erase(next);
    if (datagram.size() > buffer.size()) {
        return fakeFailure("fake-peer", "an answer longer than the receive space", 90);
    }
    std::copy(datagram.begin(), datagram.end(), buffer.begin());
    return std::optional<std::size_t>(datagram.size());
}

void FakeDatagramSocket::discardPending() {
    ++peer_.discardCount;
    const std::uint32_t now = peer_.clock.tickCount();
    std::erase_if(peer_.input,
                  [now](const auto& d) { return !platform::tickIsAfter(d.tick, now); });
}

Status FakeSocketLibrary::startup() {
    if (peer_.startupFails) {
        return fakeFailure("sockets", "cannot start", 10091);
    }
    ++peer_.startups;
    return {};
}

void FakeSocketLibrary::cleanup() {
    ++peer_.cleanups;
}

Result<std::unique_ptr<platform::DatagramSocket>> FakeSocketLibrary::createDatagramSocket() {
    if (peer_.createFails) {
        return fakeFailure("UDP socket", "cannot create", 24);
    }
    return std::unique_ptr<platform::DatagramSocket>(std::make_unique<FakeDatagramSocket>(peer_));
}

Result<platform::Ipv4Address> FakeSocketLibrary::resolveHostName(const std::string& name) {
    peer_.resolvedNames.push_back(name);
    const auto found = peer_.hostNames.find(name);
    if (found == peer_.hostNames.end()) {
        return objectFailure(name, "the name does not resolve to an IPv4 address",
                             FailureKind::Address);
    }
    return found->second;
}

}  // namespace vorlanth::fakes
