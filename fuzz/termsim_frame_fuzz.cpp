// Fuzz target: arbitrary bytes into the virtual terminal's frame parser, as a serial stream
// or as datagrams, with its faults switched on or off.
//
// Input layout: byte 0 chooses the link and the terminal's behaviour, byte 1 seeds its faults;
// then chunks, each a length byte (low 6 bits: length, high 2 bits: the pause before it)
// followed by that many bytes. Checked: the terminal's timers run out in a bounded number of
// steps, every answer is short, the answers stay in proportion to the frames, and nothing is
// stored that did not arrive.
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "tools/termsim/model/terminal_model.h"

namespace {

using namespace vorlanth::termsim;

// Longest answer the terminal gives to one frame, garbage lines included.
constexpr std::size_t kLongestAnswer = 64;

[[noreturn]] void invariantBroken(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::fflush(stderr);
    __builtin_trap();
}

// The terminal's behaviour for this input.
ModelConfig configFor(std::uint8_t options, std::uint8_t seed) {
    ModelConfig config;
    static constexpr EntryStyle kEntries[] = {EntryStyle::ReadyFn, EntryStyle::ReadyFf,
                                              EntryStyle::LongWay, EntryStyle::LongWay};
    config.entry = kEntries[(options >> 1) & 3];
    config.basic = (options & 8) != 0 ? BasicMode::Checksum : BasicMode::Plain;
    config.faults.rate = (options & 16) != 0 ? 0.3 : 0.0;
    config.faults.commandsToo = (options & 32) != 0;
    config.faults.seed = seed;
    config.eraseUs = millisToMicros((options & 64) != 0 ? 2000 : 0);
    config.baud = (options & 128) != 0 ? 9600 : 0;
    config.writeUs = millisToMicros(seed & 3);
    return config;
}

// Takes what is due at `now` (milliseconds) and checks it; returns the bytes taken.
std::size_t drain(TerminalModel& model, std::uint64_t now, bool datagrams) {
    std::size_t total = 0;
    for (const Emission& emission : model.takeDueUs(millisToMicros(now))) {
        if (emission.bytes.size() > kLongestAnswer) {
            invariantBroken("an answer longer than any answer word");
        }
        total += emission.bytes.size();
        if (datagrams) {
            SeededRandom random(emission.frame);
            std::size_t pieces = 0;
            for (const auto& datagram :
                 splitIntoDatagrams(emission.bytes, 3, emission.datagramFault, random)) {
                pieces += datagram.size();
            }
            if (pieces > 2 * emission.bytes.size()) {
                invariantBroken("datagram split made up bytes");
            }
        }
    }
    return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const bool datagrams = (data[0] & 1) != 0;
    TerminalModel model(configFor(data[0], data[1]));
    static constexpr std::uint64_t kPauses[] = {0, 1, 100, 300};
    std::uint64_t now = 0;
    std::size_t answered = 0;
    std::size_t position = 2;
    while (position < size) {
        const std::size_t length = data[position] & 63;
        now += kPauses[data[position] >> 6];
        ++position;
        const std::size_t take = length < size - position ? length : size - position;
        model.advanceUs(millisToMicros(now));
        answered += drain(model, now, datagrams);
        const std::span<const std::uint8_t> chunk(data + position, take);
        if (datagrams) {
            model.receiveDatagramUs(chunk, millisToMicros(now));
        } else {
            model.receiveStreamUs(chunk, millisToMicros(now));
        }
        answered += drain(model, now, datagrams);
        position += take;
    }

    // Every timer runs out: an open frame is given up, every answer becomes due.
    int steps = 0;
    while (const std::optional<Micros> next = model.nextEventUs()) {
        if (++steps > 10000) {
            invariantBroken("the terminal's timers never run out");
        }
        const std::uint64_t nextMs = millisRoundedUp(*next);
        now = nextMs > now ? nextMs : now;
        model.advanceUs(millisToMicros(now));
        answered += drain(model, now, datagrams);
    }

    const ModelStats& stats = model.stats();
    if (answered > (stats.frames + 1) * 2 * kLongestAnswer) {
        invariantBroken("more answers than frames");
    }
    const ReceivedProgram program = model.current();
    if (program.image.writtenCount() > stats.bytesIn ||
        program.basicProgram.size() > stats.bytesIn) {
        invariantBroken("the terminal stored more than it received");
    }
    return 0;
}
