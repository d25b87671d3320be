// Fuzz target: any bytes through the BASIC program decoder alone, with its companion (see
// decoder_fuzz_support.h for what every decoding must keep). The blocks are also checked
// against a plain reading of the layout: a file whose counts it holds must give the companion
// block, then its pieces in file order (together the file up to its trailing bytes), and any
// other file a format error.
//
// Input layout: bytes 0 and 1 give the companion's length (low byte first; 0xFFFF: no companion
// at all), then the companion, then the program.
#include <algorithm>
#include <array>
#include <cstdint>

#include "fuzz/decoder_fuzz_support.h"

namespace {

using namespace vorlanth;
using fuzzing::ByteView;
using fuzzing::require;
using fuzzing::SinkCall;

constexpr std::size_t kNoCompanion = 0xFFFF;

// The blocks the program should send, or false when its counts announce more than it holds
// (or it or the companion is empty).
bool expectedBlocks(ByteView program, const std::optional<ByteView>& companion,
                    fuzzing::CallLog& expected, std::uint64_t& trailing) {
    if (program.size() < 10 || (companion && companion->empty())) {
        return false;
    }
    const std::size_t first = program[8] + 256u * program[9];
    const std::size_t secondCountAt = 10 + 64 * (first + (first + 1) / 2);
    if (program.size() < secondCountAt + 2) {
        return false;
    }
    const std::size_t end =
        secondCountAt + 2 + 64 * (program[secondCountAt] + 256u * program[secondCountAt + 1]);
    if (program.size() < end) {
        return false;
    }
    std::array<std::uint8_t, 100> companionBlock{};
    if (companion) {
        std::copy_n(companion->begin(), std::min<std::size_t>(100, companion->size()),
                    companionBlock.begin());
    }
    const auto add = [&](ByteView bytes) {
        expected.calls.push_back({SinkCall::Block, 0, bytes.size(), expected.data.size()});
        expected.data.insert(expected.data.end(), bytes.begin(), bytes.end());
    };
    add(companionBlock);
    add(program.first(8));
    add(program.subspan(8, 2));
    for (std::size_t at = 10; at < end; at += at == secondCountAt ? 2 : 64) {
        add(program.subspan(at, at == secondCountAt ? 2 : 64));
    }
    trailing = program.size() - end;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::size_t companionLength = data[0] + 256u * data[1];
    ByteView rest(data + 2, size - 2);
    fuzzing::DecoderCase input{rest, std::nullopt, false};
    if (companionLength != kNoCompanion) {
        input.companion = rest.first(std::min(companionLength, rest.size()));
        input.program = rest.subspan(input.companion->size());
    }
    const fuzzing::DecodePass& whole = fuzzing::runDecoderCase(
        input, [](platform::ReadableFile& program, platform::ReadableFile* companion,
                  readers::ProgramSink& sink) {
            return readers::decodeBasicProgram(program, companion, sink);
        });
    static fuzzing::CallLog expected;  // kept from input to input, so that a run allocates little
    expected.calls.clear();
    expected.data.clear();
    std::uint64_t trailing = 0;
    if (!expectedBlocks(input.program, input.companion, expected, trailing)) {
        require(whole.result.status == readers::DecodeStatus::FormatError,
                "a program shorter than its counts, or an empty file, is taken");
        return 0;
    }
    require(whole.result.status == readers::DecodeStatus::Complete &&
                whole.result.trailingBytes == trailing,
            "a program that holds its counts is refused, or its trailing bytes miscounted",
            whole.result.error.reason);
    std::size_t j = 0;
    for (std::size_t i = 0; i < whole.log.calls.size(); ++i) {
        if (whole.log.calls[i].kind == SinkCall::Progress) {
            continue;
        }
        require(j < expected.calls.size() && whole.log.sameCall(i, expected, j),
                "the blocks differ from the file's pieces", "block " + std::to_string(j));
        ++j;
    }
    require(j == expected.calls.size(), "blocks of the program are missing");
    return 0;
}
