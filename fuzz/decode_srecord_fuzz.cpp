// Fuzz target: any bytes through the S-record decoder alone (see decoder_fuzz_support.h for what
// every decoding must keep). For a program it takes, the records must also carry exactly the
// data bytes of its data lines, at their addresses and in their order, and consecutive lines
// must be joined: a record under 64 data bytes is the last one or followed by a gap. Most
// mutants have their counts and checksums made right, so that they reach the joining.
#include <cstdint>
#include <utility>
#include <vector>

#include "fuzz/decoder_fuzz_support.h"
#include "fuzz/srecord_repair.h"

namespace {

using namespace vorlanth;
using fuzzing::ByteView;
using fuzzing::require;

constexpr std::size_t kJoinedDataThreshold = 64;

int digit(std::uint8_t c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

using AddressedBytes = std::vector<std::pair<std::uint64_t, std::uint8_t>>;

// The data bytes of every data line before the end record, each with its address, read the
// plain way from a file the decoder took whole (so every line up to the end is well formed).
void dataLineBytes(ByteView file, AddressedBytes& bytes) {
    bytes.clear();
    std::size_t start = 0;
    while (start < file.size()) {
        std::size_t end = start;
        while (end < file.size() && file[end] != '\n') {
            ++end;
        }
        std::size_t length = end - start;
        if (length > 0 && file[start + length - 1] == '\r') {
            --length;
        }
        const ByteView line = file.subspan(start, length);
        start = end + 1;
        if (line.empty()) {
            continue;
        }
        const int type = line[1] - '0';
        if (type >= 7) {
            break;
        }
        if (type < 1 || type > 3) {
            continue;
        }
        const auto pair = [&](std::size_t i) {
            return digit(line[2 + 2 * i]) * 16 + digit(line[3 + 2 * i]);
        };
        const std::size_t count = static_cast<std::size_t>(pair(0));
        const std::size_t addressBytes = static_cast<std::size_t>(type) + 1;
        std::uint64_t address = 0;
        for (std::size_t i = 0; i < addressBytes; ++i) {
            address = address * 256 + static_cast<std::uint64_t>(pair(1 + i));
        }
        for (std::size_t i = 1 + addressBytes; i < count; ++i) {
            bytes.emplace_back(address++, static_cast<std::uint8_t>(pair(i)));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzzing::DecoderCase input{ByteView(data, size), std::nullopt, true};
    const fuzzing::DecodePass& whole = fuzzing::runDecoderCase(
        input,
        [](platform::ReadableFile& program, platform::ReadableFile*, readers::ProgramSink& sink) {
            return readers::decodeSRecordFile(program, sink);
        });
    if (whole.result.status != readers::DecodeStatus::Complete) {
        return 0;
    }
    // Kept from input to input, so that a run allocates little.
    static AddressedBytes sent;
    static AddressedBytes lineBytes;
    sent.clear();
    const fuzzing::SinkCall* previous = nullptr;
    for (const fuzzing::SinkCall& call : whole.log.calls) {
        if (call.kind != fuzzing::SinkCall::Record) {
            continue;
        }
        require(call.length > 0, "an S-record program sends an empty record");
        if (previous != nullptr && previous->length < kJoinedDataThreshold) {
            require(call.address != previous->address + previous->length,
                    "a short record is followed by data that should have joined it");
        }
        previous = &call;
        std::uint64_t address = call.address;
        for (const std::uint8_t byte : whole.log.dataOf(call)) {
            sent.emplace_back(address++, byte);
        }
    }
    dataLineBytes(input.program, lineBytes);
    require(sent == lineBytes, "the records do not carry the data lines' bytes at their addresses");
    return 0;
}

// Mutates, then makes the counts and checksums right in seven mutants of eight (in one of those
// the checksums only).
extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned int seed) {
    size = LLVMFuzzerMutate(data, size, maxSize);
    if (seed % 8 != 0) {
        fuzzing::repairSRecordLines(data, size, seed % 8 != 1);
    }
    return size;
}
