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

bool FakeSerialPort::setQueueSizes(std::uint32_t inputBytes, std::uint32_t outputBytes) {
    line_.queueInput = inputBytes;
    line_.queueOutput = outputBytes;
    return true;
}

bool FakeSerialPort::readLineSettings(platform::LineSettings& settings) {
    settings = line_.deviceSettings;
    return true;
}

bool FakeSerialPort::applyLineSettings(const platform::LineSettings& settings) {
    line_.appliedSettings.push_back(settings);
    line_.deviceSettings = settings;
    return true;
}

bool FakeSerialPort::setTimeouts(const platform::SerialTimeouts& timeouts) {
    line_.appliedTimeouts.push_back(timeouts);
    return true;
}

std::int64_t FakeSerialPort::write(std::span<const std::uint8_t> bytes, FailureDetail* why) {
    if (line_.writesFail) {
        tell(why, fakeFailure("fake-serial", "the line was lost", kFakeIoError));
        return -1;
    }
    line_.writes.push_back({Bytes(bytes.begin(), bytes.end()), line_.clock.tickCount()});
    if (line_.responder) {
        line_.responder(line_, bytes);
    }
    return static_cast<std::int64_t>(bytes.size());
}

platform::ReadStatus FakeSerialPort::readByte(std::uint8_t& byte, std::uint32_t waitMs,
                                              FailureDetail* why) {
    ++line_.readCalls;
    if (line_.readsFail) {
        tell(why, fakeFailure("fake-serial", "the line was lost", kFakeIoError));
        return platform::ReadStatus::Failed;
    }
    const std::uint32_t now = line_.clock.tickCount();
    if (!line_.input.empty() && !platform::tickIsAfter(line_.input.front().tick, now + waitMs)) {
        line_.clock.advanceTo(line_.input.front().tick);
        byte = line_.input.front().byte;
        line_.input.pop_front();
        return platform::ReadStatus::Byte;
    }
    line_.clock.advance(waitMs);
    return platform::ReadStatus::Nothing;
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

bool FakeDatagramSocket::connect(std::array<std::uint8_t, 4> address, std::uint16_t port,
                                 FailureDetail* why) {
    peer_.connectedAddress = address;
    peer_.connectedPort = port;
    if (peer_.connectFails) {
        tell(why, fakeFailure("fake-peer", "cannot connect", 101));
        return false;
    }
    return true;
}

std::int64_t FakeDatagramSocket::send(std::span<const std::uint8_t> bytes) {
    peer_.sent.push_back({Bytes(bytes.begin(), bytes.end()), peer_.clock.tickCount()});
    if (peer_.responder) {
        peer_.responder(peer_, bytes);
    }
    return static_cast<std::int64_t>(bytes.size());
}

platform::ReceiveResult FakeDatagramSocket::receive(std::span<std::uint8_t> buffer,
                                                    std::uint32_t waitMs, FailureDetail* why) {
    if (peer_.receivesFail) {
        tell(why, fakeFailure("fake-peer", "cannot receive", 111));
        return {platform::ReceiveStatus::Failed, 0};
    }
    const std::uint32_t now = peer_.clock.tickCount();
    // Datagrams may be queued out of order by delay; the earliest arrival comes first.
    auto next = std::min_element(
        peer_.input.begin(), peer_.input.end(),
        [](const auto& a, const auto& b) { return platform::tickIsAfter(b.tick, a.tick); });
    if (next == peer_.input.end() || platform::tickIsAfter(next->tick, now + waitMs)) {
        peer_.clock.advance(waitMs);
        return {platform::ReceiveStatus::TimedOut, 0};
    }
    peer_.clock.advanceTo(next->tick);
    const Bytes datagram = next->bytes;
    peer_.input.erase(next);
    if (datagram.size() > buffer.size()) {
        return {platform::ReceiveStatus::Failed, 0};
    }
    std::copy(datagram.begin(), datagram.end(), buffer.begin());
    return {platform::ReceiveStatus::Received, datagram.size()};
}

void FakeDatagramSocket::discardPending() {
    ++peer_.discardCount;
    const std::uint32_t now = peer_.clock.tickCount();
    std::erase_if(peer_.input,
                  [now](const auto& d) { return !platform::tickIsAfter(d.tick, now); });
}

bool FakeSocketLibrary::startup(FailureDetail* why) {
    if (peer_.startupFails) {
        tell(why, fakeFailure("sockets", "cannot start", 10091));
        return false;
    }
    ++peer_.startups;
    return true;
}

void FakeSocketLibrary::cleanup() {
    ++peer_.cleanups;
}

std::unique_ptr<platform::DatagramSocket> FakeSocketLibrary::createDatagramSocket(
    FailureDetail* why) {
    if (peer_.createFails) {
        tell(why, fakeFailure("UDP socket", "cannot create", 24));
        return nullptr;
    }
    return std::make_unique<FakeDatagramSocket>(peer_);
}

std::optional<std::array<std::uint8_t, 4>> FakeSocketLibrary::resolveHostName(
    const std::string& name, FailureDetail* why) {
    peer_.resolvedNames.push_back(name);
    const auto found = peer_.hostNames.find(name);
    if (found == peer_.hostNames.end()) {
        FailureDetail detail;
        detail.kind = FailureKind::Address;
        detail.object = name;
        detail.reason = "the name does not resolve to an IPv4 address";
        tell(why, std::move(detail));
        return std::nullopt;
    }
    return found->second;
}

}  // namespace vorlanth::fakes
