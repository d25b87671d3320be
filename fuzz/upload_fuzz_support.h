// Shared body of the upload fuzz targets: a program file (and for BASIC a companion) goes
// through the real upload driver over the fake platform, with the in-process terminal model
// answering on the far end of the serial line or the datagram link.
//
// Input layout: byte 0 chooses the link and the terminal's behaviour, byte 1 seeds its faults;
// for BASIC bytes 2 and 3 give the companion's length (little-endian); the rest is the file.
// Checked on every input: no write longer than the 258-byte buffer, virtual time bounded by
// the number of writes, a file the decoder refuses puts nothing on the link, a file it takes
// uploads when the terminal injects no fault, and a successful upload leaves in the terminal
// exactly what the terminal's own reading of the file gives.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "fuzz/invariant.h"
#include "link/link.h"
#include "readers/program_decoder.h"
#include "shell/session.h"
#include "shell/upload_driver.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording_front_end.h"
#include "tools/termsim/model/program_files.h"
#include "tools/termsim/model/terminal_model.h"

namespace vorlanth::fuzzing {

// Longest a single wait sequence may take per write: a record's three looks at its answers
// (8 s + 2 s + 2 s) or an erase wait (35 s) after its command's 8 s, with room to spare.
inline constexpr std::uint64_t kWaitBoundPerWriteMs = 45000;

// The terminal's behaviour for this input, read from the option byte and the seed byte.
inline termsim::ModelConfig modelConfigFor(std::uint8_t options, std::uint8_t seed) {
    termsim::ModelConfig config;
    switch ((options >> 1) & 3) {
        case 0:
            config.entry = termsim::EntryStyle::ReadyFn;
            break;
        case 1:
            config.entry = termsim::EntryStyle::ReadyFf;
            break;
        default:
            config.entry = termsim::EntryStyle::LongWay;
            break;
    }
    config.basic = (options & 8) != 0 ? termsim::BasicMode::Checksum : termsim::BasicMode::Plain;
    static constexpr double kFaultRates[] = {0.0, 0.0, 0.05, 0.25};
    config.faults.rate = kFaultRates[(options >> 4) & 3];
    config.faults.seed = seed;
    config.faults.commandsToo = (seed & 1) != 0;
    // 40 s is beyond the loader's 35-second erase wait.
    static constexpr std::uint32_t kEraseMs[] = {0, 0, 3000, 40000};
    config.eraseUs = termsim::millisToMicros(kEraseMs[(options >> 6) & 3]);
    config.writeUs = termsim::millisToMicros(seed & 7);
    return config;
}

// Hands the model what the loader wrote and queues every answer the model gives for it.
// Answers due later (erase end, flash write time, late faults) are taken ahead: the loader
// only waits for them, so nothing else reaches the model in between.
template <typename Deliver>
void answerWrite(termsim::TerminalModel& model, std::uint32_t now, Deliver deliver) {
    int guard = 0;
    std::uint64_t at = now;
    for (;;) {
        model.advanceUs(termsim::millisToMicros(at));
        for (const termsim::Emission& emission : model.takeDueUs(termsim::millisToMicros(at))) {
            const std::uint64_t dueMs = termsim::millisRoundedUp(emission.dueUs);
            deliver(emission, static_cast<std::uint32_t>(dueMs > now ? dueMs - now : 0));
        }
        const std::optional<termsim::Micros> next = model.nextEventUs();
        if (!model.hasPendingOutput() || !next || ++guard > 1000) {
            return;
        }
        const std::uint64_t nextMs = termsim::millisRoundedUp(*next);
        at = nextMs > at ? nextMs : at;
    }
}

// Prints the outcome and the terminal's frame trace, for working through a found input.
inline void printTrace(ResultCode result, std::size_t writes, std::uint32_t elapsed,
                       const termsim::TerminalModel& model,
                       const std::vector<termsim::FrameTrace>& trace) {
    std::fprintf(stderr, "result %d after %zu writes and %u ms, %u sessions ended\n",
                 codeNumber(result), writes, elapsed, model.sessionsEnded());
    for (const termsim::FrameTrace& frame : trace) {
        std::fprintf(stderr, "  frame %llu at %llu ms: %s %s -> \"%s\" fault %s\n",
                     static_cast<unsigned long long>(frame.number),
                     static_cast<unsigned long long>(frame.atUs / termsim::kMicrosPerMilli),
                     std::string(termsim::frameKindName(frame.kind)).c_str(),
                     frame.description.c_str(), frame.answer.c_str(),
                     std::string(termsim::faultKindName(frame.fault)).c_str());
    }
}

// Whether the decoder takes the whole program, as the check before the handshake does.
inline bool decoderAccepts(fakes::FakePlatform& platform, int fileType) {
    struct Discard final : readers::ProgramSink {
        bool record(std::uint32_t, std::span<const std::uint8_t>) override { return true; }
        bool block(std::span<const std::uint8_t>) override { return true; }
        void progress(std::uint64_t, std::uint64_t) override {}
    } discard;
    auto program = platform.fileSystem.openForReading("program");
    auto companion = platform.fileSystem.openForReading("companion");
    return readers::decodeProgram(fileType, *program, fileType == Basic ? companion.get() : nullptr,
                                  discard)
               .status == readers::DecodeStatus::Complete;
}

// Runs one upload of the given file type over the input and checks the invariants.
inline void runUploadCase(int fileType, const std::uint8_t* data, std::size_t size) {
    const std::size_t header = fileType == Basic ? 4 : 2;
    if (size < header) {
        return;
    }
    const std::uint8_t options = data[0];
    const std::uint8_t seed = data[1];
    std::span<const std::uint8_t> file(data + header, size - header);
    std::span<const std::uint8_t> companion;
    if (fileType == Basic) {
        const std::size_t wanted = static_cast<std::size_t>(data[2] | (data[3] << 8));
        const std::size_t length = wanted < file.size() ? wanted : file.size();
        companion = file.first(length);
        file = file.subspan(length);
    }

    fakes::FakePlatform platform;
    fakes::RecordingFrontEnd frontEnd;
    Session session(platform, frontEnd);
    const bool network = (options & 1) != 0;
    session.settings.linkType = network ? Network : Serial;
    session.settings.fileType = fileType;
    session.settings.targetAddress.assign("127.0.0.1");
    platform.fileSystem.files["program"] = fakes::Bytes(file.begin(), file.end());
    session.programFile = platform.fileSystem.openForReading("program");
    if (fileType == Basic) {
        platform.fileSystem.files["companion"] = fakes::Bytes(companion.begin(), companion.end());
        session.companionFile = platform.fileSystem.openForReading("companion");
    }

    const bool accepted = decoderAccepts(platform, fileType);
    termsim::ModelConfig config = modelConfigFor(options, seed);
    // 35 s is the loader's erase wait: a longer erase is a fault of its own.
    const bool faultless =
        config.faults.rate == 0.0 && config.eraseUs < termsim::millisToMicros(35000);
    termsim::TerminalModel model(config);
    std::size_t writes = 0;
    if (network) {
        platform.datagramPeer.responder = [&](fakes::FakeDatagramPeer& peer,
                                              std::span<const std::uint8_t> sent) {
            ++writes;
            if (sent.size() > kTransmitBufferSize) {
                invariantBroken("a write longer than the transmit buffer");
            }
            const std::uint32_t now = peer.clock.tickCount();
            model.receiveDatagramUs(sent, termsim::millisToMicros(now));
            answerWrite(model, now, [&](const termsim::Emission& emission, std::uint32_t delay) {
                termsim::SeededRandom random(config.faults.seed * 7919 + emission.frame);
                for (const auto& datagram : termsim::splitIntoDatagrams(
                         emission.bytes, 3, emission.datagramFault, random)) {
                    peer.deliver(datagram, delay);
                }
            });
        };
    } else {
        platform.serialLine.responder = [&](fakes::FakeSerialLine& line,
                                            std::span<const std::uint8_t> sent) {
            ++writes;
            if (sent.size() > kTransmitBufferSize) {
                invariantBroken("a write longer than the transmit buffer");
            }
            const std::uint32_t now = line.clock.tickCount();
            model.receiveStreamUs(sent, termsim::millisToMicros(now));
            answerWrite(model, now, [&](const termsim::Emission& emission, std::uint32_t delay) {
                line.deliver(emission.bytes, delay);
            });
        };
    }

    link::Link link = linkOf(session);
    if (link::openLink(link) != ResultCode::Done) {
        invariantBroken("the fake link did not open");
    }
    const std::uint32_t started = platform.clockImpl.tickCount();
    const ResultCode result = shell::uploadProgram(session);
    const std::uint32_t elapsed = platform.clockImpl.tickCount() - started;
    if (elapsed > (writes + 2) * kWaitBoundPerWriteMs) {
        invariantBroken("the upload waited longer than its deadlines allow");
    }
    const std::vector<termsim::FrameTrace> trace = model.takeTrace();
    if (std::getenv("VORLANTH_FUZZ_TRACE") != nullptr) {
        printTrace(result, writes, elapsed, model, trace);
    }
    if (!accepted && (writes > 0 || succeeded(result))) {
        invariantBroken("a file the decoder refuses reached the link");
    }
    if (accepted && faultless && !succeeded(result)) {
        invariantBroken("a file the decoder takes failed without any fault",
                        std::to_string(codeNumber(result)));
    }
    if (!succeeded(result)) {
        return;
    }

    // Success: the terminal must hold what the file says, read by the terminal's own reader.
    // The answer to the end record (and to the BASIC end command) is not examined, so a
    // terminal that refuses that last frame keeps its session open while the loader reports
    // success; only a fault injected on the last frame may leave it so.
    const bool ended = model.sessionsEnded() > 0;
    if (!ended && (trace.empty() || trace.back().fault == termsim::FaultKind::None)) {
        invariantBroken("success reported but the terminal saw no end of session");
    }
    // A command the terminal did not take but answered with another word than "NAK" (the
    // checksum request) counts as accepted; the terminal then reads the next blocks out of
    // step, and only the blocks' checksum byte stands between that and wrong data. What it
    // holds then is beyond the loader's reach, so only the checks above apply.
    for (const termsim::FrameTrace& frame : trace) {
        if (frame.kind == termsim::FrameKind::Command && termsim::faultRejectsFrame(frame.fault)) {
            return;
        }
    }
    const termsim::ReceivedProgram received = ended ? model.lastSession() : model.current();
    if (fileType == Basic) {
        const termsim::ExpectedBasic expected = termsim::readBasicProgram(file, companion);
        if ((ended && received.kind != termsim::SessionKind::Basic) || !expected.error.empty() ||
            !termsim::compareBasic(expected, received.basicProgram, received.companion).empty()) {
            invariantBroken("the terminal's BASIC program differs from the file",
                            expected.error + termsim::compareBasic(expected, received.basicProgram,
                                                                   received.companion));
        }
        return;
    }
    const termsim::ExpectedImage expected =
        fileType == SRecord ? termsim::readSRecordProgram(file) : termsim::readSectionedImage(file);
    if ((ended && received.kind != termsim::SessionKind::Records) || !expected.error.empty() ||
        !termsim::compareImages(expected.image, received.image).empty()) {
        invariantBroken("the terminal's memory image differs from the file",
                        expected.error + termsim::compareImages(expected.image, received.image));
    }
}

}  // namespace vorlanth::fuzzing
