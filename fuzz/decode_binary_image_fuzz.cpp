// Fuzz target: any bytes through the binary image decoder alone (see decoder_fuzz_support.h for
// what every decoding must keep). The decoder is also checked against a plain reading of the
// sections: a file that reading takes must give exactly its records and covered sections, and
// any other file a format error.
#include <cstdint>
#include <string_view>
#include <vector>

#include "fuzz/decoder_fuzz_support.h"

namespace {

using namespace vorlanth;
using fuzzing::ByteView;
using fuzzing::require;
using fuzzing::SinkCall;

constexpr std::string_view kStartMark = "TOLVEXSTART";
constexpr std::string_view kEndMark = "TOLVEXEND";

bool marked(ByteView bytes, std::size_t at, std::string_view mark) {
    return bytes.size() >= at + mark.size() &&
           std::equal(mark.begin(), mark.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

std::uint32_t bigEndian(ByteView bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at]) << 24 |
           static_cast<std::uint32_t>(bytes[at + 1]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
}

// What the file should send, read section by section: each 64-byte chunk whole when it lies
// below address 256 or is among its section's first four, otherwise its runs of bytes other
// than 0xFF. False for a file that is not sections back to back.
bool expectedCalls(ByteView file, std::vector<SinkCall>& calls, std::vector<std::uint8_t>& data) {
    std::size_t at = 0;
    do {
        if (!marked(file, at, kStartMark) || file.size() - at < 19) {
            return false;
        }
        const std::uint32_t address = bigEndian(file, at + 11);
        const std::uint32_t length = bigEndian(file, at + 15);
        if (std::uint64_t{address} + length > fuzzing::kAddressSpaceEnd ||
            file.size() - at - 19 < std::uint64_t{length} + kEndMark.size() ||
            !marked(file, at + 19 + length, kEndMark)) {
            return false;
        }
        calls.push_back({SinkCall::Covers, address, length, 0});
        const ByteView section = file.subspan(at + 19, length);
        std::size_t chunkAt = 0;
        std::size_t index = 0;
        const auto add = [&](std::uint32_t recordAddress, ByteView bytes) {
            calls.push_back({SinkCall::Record, recordAddress, bytes.size(), data.size()});
            data.insert(data.end(), bytes.begin(), bytes.end());
        };
        do {  // a section without data still sends one empty record
            const ByteView chunk =
                section.subspan(chunkAt, std::min<std::size_t>(64, length - chunkAt));
            const auto chunkAddress = static_cast<std::uint32_t>(address + chunkAt);
            if (chunkAddress < 256 || index < 4) {
                add(chunkAddress, chunk);
            } else {
                for (std::size_t i = 0; i < chunk.size();) {
                    std::size_t end = i;
                    while (end < chunk.size() && chunk[end] != 0xFF) {
                        ++end;
                    }
                    if (end > i) {
                        add(static_cast<std::uint32_t>(chunkAddress + i),
                            chunk.subspan(i, end - i));
                    }
                    i = end + 1;
                }
            }
            chunkAt += chunk.size();
            ++index;
        } while (chunkAt < length);
        at += 19 + std::size_t{length} + kEndMark.size();
    } while (at < file.size());
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzzing::DecoderCase input{ByteView(data, size), std::nullopt, false};
    const fuzzing::DecodePass& whole = fuzzing::runDecoderCase(
        input,
        [](platform::ReadableFile& program, platform::ReadableFile*, readers::ProgramSink& sink) {
            return readers::decodeBinaryImage(program, sink);
        });
    static fuzzing::CallLog expected;  // kept from input to input, so that a run allocates little
    expected.calls.clear();
    expected.data.clear();
    if (!expectedCalls(input.program, expected.calls, expected.data)) {
        require(whole.result.status == readers::DecodeStatus::FormatError,
                "a file that is not sections back to back is taken");
        return 0;
    }
    require(
        whole.result.status == readers::DecodeStatus::Complete && whole.result.trailingBytes == 0,
        "a file of whole sections is refused", whole.result.error.reason);
    std::size_t j = 0;
    for (std::size_t i = 0; i < whole.log.calls.size(); ++i) {
        if (whole.log.calls[i].kind == SinkCall::Progress) {
            continue;
        }
        require(j < expected.calls.size() && whole.log.sameCall(i, expected, j),
                "the records differ from the sections' chunks and runs",
                "call " + std::to_string(i));
        ++j;
    }
    require(j == expected.calls.size(), "records of the sections are missing");
    return 0;
}
