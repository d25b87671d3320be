// A terminal with scripted answers over the fake platform's line, and a progress sink that keeps
// what it was told, for the protocol and upload tests.
#pragma once

#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

#include "link/link.h"
#include "shell/program_sender.h"
#include "shell/session.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording_front_end.h"
#include "tests/fakes/result_code_printer.h"

namespace vorlanth::testing {

using fakes::Bytes;

// A terminal on a fake serial line that answers each write with the next scripted reply
// (raw text, "" for silence), and with defaultReply once the script is used up.
struct ScriptedTerminal {
    ScriptedTerminal() {
        link::Link serial = linkOf(session);
        if (link::openLink(serial) != ResultCode::Done) {
            throw std::runtime_error("the fake serial line did not open");
        }
        platform.serialLine.responder = [this](fakes::FakeSerialLine& line,
                                               std::span<const std::uint8_t>) {
            const std::string reply = nextReply();
            if (!reply.empty()) {
                line.deliver(reply, replyDelayMs);
            }
        };
    }

    // The next scripted reply, or defaultReply once the script is used up.
    std::string nextReply() {
        if (replies.empty()) {
            return defaultReply;
        }
        std::string reply = replies.front();
        replies.pop_front();
        return reply;
    }

    // Switches to the datagram link: each reply goes out as one datagram.
    void useNetwork() {
        link::Link current = linkOf(session);
        link::closeLink(current);
        session.settings.linkType = Network;
        session.settings.targetAddress.assign("127.0.0.1");
        if (link::openLink(current) != ResultCode::Done) {
            throw std::runtime_error("the fake datagram link did not open");
        }
        platform.datagramPeer.responder = [this](fakes::FakeDatagramPeer& peer,
                                                 std::span<const std::uint8_t>) {
            const std::string reply = nextReply();
            if (!reply.empty()) {
                peer.deliver(reply, replyDelayMs);
            }
        };
    }

    void script(std::initializer_list<std::string> lines) {
        replies.insert(replies.end(), lines.begin(), lines.end());
    }

    void setProgramFile(const Bytes& bytes) {
        platform.fileSystem.files["program"] = bytes;
        session.programFile = platform.fileSystem.openForReading("program");
    }
    void setProgramFile(std::string_view text) { setProgramFile(fakes::bytesOf(text)); }
    void setCompanionFile(const Bytes& bytes) {
        platform.fileSystem.files["companion"] = bytes;
        session.companionFile = platform.fileSystem.openForReading("companion");
    }

    // Every write on the serial line, in order.
    std::vector<Bytes> frames() const {
        std::vector<Bytes> result;
        for (const auto& write : platform.serialLine.writes) {
            result.push_back(write.bytes);
        }
        return result;
    }
    std::vector<std::uint32_t> frameTicks() const {
        std::vector<std::uint32_t> result;
        for (const auto& write : platform.serialLine.writes) {
            result.push_back(write.tick);
        }
        return result;
    }

    link::Link link() { return linkOf(session); }
    // The check pass and the send pass of a program of fileType, without handshake or erase.
    ResultCode transfer(int fileType, shell::ProgressSink& progress) {
        session.settings.fileType = fileType;
        const ResultCode checked = shell::checkProgramFiles(session);
        return succeeded(checked) ? shell::transferProgram(session, progress) : checked;
    }
    std::uint32_t now() { return platform.clockImpl.tickCount(); }

    fakes::FakePlatform platform;
    fakes::RecordingFrontEnd frontEnd;
    Session session{platform, frontEnd};
    std::deque<std::string> replies;
    std::string defaultReply = "FA\r";
    std::uint32_t replyDelayMs = 0;
};

// A progress sink that records every position set and every pump.
struct RecordingProgress final : shell::ProgressSink {
    void setProgress(int percent, std::uint64_t, std::uint64_t) override {
        positions.push_back(percent);
    }
    void stayResponsive() override { ++pumps; }

    std::vector<int> positions;
    int pumps = 0;
};

// Bytes from a hexadecimal text such as "53 33 08"; blanks are ignored.
inline Bytes hexBytes(std::string_view text) {
    Bytes bytes;
    int high = -1;
    for (char c : text) {
        int value = -1;
        if (c >= '0' && c <= '9') {
            value = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            value = c - 'A' + 10;
        } else if (c >= 'a' && c <= 'f') {
            value = c - 'a' + 10;
        }
        if (value < 0) {
            continue;
        }
        if (high < 0) {
            high = value;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high * 16 + value));
            high = -1;
        }
    }
    return bytes;
}

inline Bytes textBytes(std::string_view text) {
    return fakes::bytesOf(text);
}

inline const Bytes kEndRecordBytes = {0x53, 0x37, 0x05, 0x00, 0x00, 0x00, 0x00, 0xFA, 0x0D};

}  // namespace vorlanth::testing
