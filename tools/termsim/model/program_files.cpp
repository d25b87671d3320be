#include "program_files.h"

#include "protocol_words.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <optional>
#include <string_view>

namespace vorlanth::termsim {

namespace {

// Value of one hex digit of either case, nullopt for anything else.
std::optional<uint8_t> hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return static_cast<uint8_t>(c - '0');
    }
    if (c >= 'A' && c <= 'F') {
        return static_cast<uint8_t>(c - 'A' + 10);
    }
    if (c >= 'a' && c <= 'f') {
        return static_cast<uint8_t>(c - 'a' + 10);
    }
    return std::nullopt;
}

// Prefixes a message with its line number.
std::string lineMessage(size_t lineNumber, const std::string& what) {
    return "line " + std::to_string(lineNumber) + ": " + what;
}

// 0x0000ABCD.
std::string hex32(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08" PRIX32, value);
    return text;
}

// 0xAB.
std::string hex8(uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(value));
    return text;
}

// Four bytes, most significant first.
uint32_t bigEndian32(std::span<const uint8_t> bytes) {
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
           bytes[3];
}

}  // namespace

// Reads line by line; each data record's bytes go into the image at its address.
ExpectedImage readSRecordProgram(std::span<const uint8_t> text) {
    ExpectedImage result;
    const std::string_view all(reinterpret_cast<const char*>(text.data()), text.size());
    size_t lineNumber = 0;
    size_t position = 0;
    bool ended = false;
    while (position < all.size() && !ended) {
        size_t lineEnd = all.find('\n', position);
        if (lineEnd == std::string_view::npos) {
            lineEnd = all.size();
        }
        std::string_view line = all.substr(position, lineEnd - position);
        position = lineEnd + 1;
        ++lineNumber;
        while (!line.empty() &&
               (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            continue;
        }
        if (line.size() < 4 || (line[0] != 'S' && line[0] != 's') || line.size() % 2 != 0) {
            result.error = lineMessage(lineNumber, "not an S-record line");
            return result;
        }
        std::vector<uint8_t> bytes;
        for (size_t i = 2; i < line.size(); i += 2) {
            const auto high = hexDigit(line[i]);
            const auto low = hexDigit(line[i + 1]);
            if (!high || !low) {
                result.error = lineMessage(lineNumber, "bad hexadecimal digits");
                return result;
            }
            bytes.push_back(static_cast<uint8_t>(*high * 16 + *low));
        }
        if (bytes[0] + 1u != bytes.size()) {
            result.error = lineMessage(lineNumber, "count does not match the line length");
            return result;
        }
        uint32_t sum = 0;
        for (size_t i = 0; i + 1 < bytes.size(); ++i) {
            sum += bytes[i];
        }
        if (complementChecksum(sum) != bytes.back()) {
            result.warnings.push_back(lineMessage(lineNumber, "checksum does not match"));
        }
        int addressBytes = 0;
        switch (line[1]) {
            case '0':
            case '5':
            case '6':
                continue;
            case '1':
            case '9':
                addressBytes = 2;
                break;
            case '2':
            case '8':
                addressBytes = 3;
                break;
            case '3':
            case '7':
                addressBytes = 4;
                break;
            default:
                result.error =
                    lineMessage(lineNumber, std::string("unknown record type S") + line[1]);
                return result;
        }
        if (bytes.size() < static_cast<size_t>(addressBytes) + 2) {
            result.error = lineMessage(lineNumber, "record too short for its address");
            return result;
        }
        if (line[1] >= '7') {
            ended = true;
            break;
        }
        uint32_t address = 0;
        for (int i = 0; i < addressBytes; ++i) {
            address = (address << 8) | bytes[1 + static_cast<size_t>(i)];
        }
        if (!result.image.write(
                address,
                std::span(bytes).subspan(1 + static_cast<size_t>(addressBytes),
                                         bytes.size() - 2 - static_cast<size_t>(addressBytes)))) {
            result.error = lineMessage(lineNumber, "data past 0xFFFFFFFF");
            return result;
        }
    }
    if (!ended) {
        result.error = "no end record (S7, S8 or S9)";
    }
    return result;
}

// Walks the sections back to back until the file ends.
ExpectedImage readSectionedImage(std::span<const uint8_t> bytes) {
    static constexpr std::string_view kStart = "TOLVEXSTART";
    static constexpr std::string_view kEnd = "TOLVEXEND";
    ExpectedImage result;
    auto markAt = [&](size_t offset, std::string_view mark) {
        return offset + mark.size() <= bytes.size() &&
               std::equal(mark.begin(), mark.end(), bytes.begin() + static_cast<long>(offset));
    };
    size_t offset = 0;
    int section = 0;
    if (bytes.empty()) {
        result.error = "empty file";
        return result;
    }
    while (offset < bytes.size()) {
        ++section;
        const std::string where =
            "section " + std::to_string(section) + " at file offset " + std::to_string(offset);
        if (!markAt(offset, kStart)) {
            result.error = where + ": no \"TOLVEXSTART\" mark";
            return result;
        }
        if (offset + kStart.size() + 8 > bytes.size()) {
            result.error = where + ": header cut short";
            return result;
        }
        const uint32_t address = bigEndian32(bytes.subspan(offset + kStart.size(), 4));
        const uint32_t length = bigEndian32(bytes.subspan(offset + kStart.size() + 4, 4));
        const size_t dataStart = offset + kStart.size() + 8;
        const size_t available = std::min<size_t>(length, bytes.size() - dataStart);
        if (!result.image.write(address, bytes.subspan(dataStart, available))) {
            result.error = where + ": data past 0xFFFFFFFF";
            return result;
        }
        if (available < length) {
            result.warnings.push_back(where + ": file ends after " + std::to_string(available) +
                                      " of " + std::to_string(length) + " data bytes");
            return result;
        }
        offset = dataStart + length;
        if (!markAt(offset, kEnd)) {
            result.error = where + ": no \"TOLVEXEND\" mark after the data";
            return result;
        }
        offset += kEnd.size();
    }
    return result;
}

// Works out the block layout from the two counts and checks the file holds it.
ExpectedBasic readBasicProgram(std::span<const uint8_t> program,
                               std::span<const uint8_t> companion) {
    ExpectedBasic result;
    result.companion.assign(kCompanionBlockSize, 0);
    std::copy_n(companion.begin(), std::min(companion.size(), kCompanionBlockSize),
                result.companion.begin());
    const size_t firstCountAt = kHeaderBlockSize;
    if (program.size() < firstCountAt + kCountBlockSize) {
        result.error = "program file too short for its header and first count";
        return result;
    }
    const size_t firstCount = program[firstCountAt] + 256u * program[firstCountAt + 1];
    const size_t secondPieces = (firstCount + 1) / 2;
    const size_t secondCountAt =
        firstCountAt + kCountBlockSize + kPieceSize * (firstCount + secondPieces);
    if (program.size() < secondCountAt + kCountBlockSize) {
        result.error = "program file too short: first count " + std::to_string(firstCount) +
                       " needs " + std::to_string(secondCountAt + kCountBlockSize) +
                       " bytes before the second count, file has " + std::to_string(program.size());
        return result;
    }
    const size_t thirdCount = program[secondCountAt] + 256u * program[secondCountAt + 1];
    const size_t total = secondCountAt + kCountBlockSize + kPieceSize * thirdCount;
    if (program.size() < total) {
        result.error = "program file too short: its counts need " + std::to_string(total) +
                       " bytes, file has " + std::to_string(program.size());
        return result;
    }
    if (program.size() > total) {
        result.warnings.push_back(std::to_string(program.size() - total) +
                                  " bytes after the last piece are never sent");
    }
    result.program.assign(program.begin(), program.begin() + static_cast<long>(total));
    return result;
}

// Replaces from the first "." of the file name, not of the directories.
std::string companionPathFor(const std::string& programPath) {
    const size_t nameStart = programPath.find_last_of("/\\");
    const size_t from = nameStart == std::string::npos ? 0 : nameStart + 1;
    const size_t dot = programPath.find('.', from);
    return (dot == std::string::npos ? programPath : programPath.substr(0, dot)) + ".ini";
}

// Checks every address written on either side and reports the first difference.
std::string compareImages(const MemoryImage& expected, const MemoryImage& received) {
    uint64_t differing = 0;
    std::string first;
    auto check = [&](const MemoryImage& side) {
        for (const MemoryRun& run : side.runs()) {
            for (size_t i = 0; i < run.bytes.size(); ++i) {
                const auto address = static_cast<uint32_t>(run.address + i);
                const uint8_t want = expected.readFlash(address);
                const uint8_t got = received.readFlash(address);
                if (want == got || (&side == &received && expected.read(address))) {
                    continue;  // equal, or already counted on the expected side
                }
                ++differing;
                if (first.empty()) {
                    first = "memory differs at " + hex32(address) + ": file has " +
                            (expected.read(address) ? hex8(want) : "nothing (erased 0xFF)") +
                            ", terminal has " +
                            (received.read(address) ? hex8(got) : "nothing (erased 0xFF)");
                }
            }
        }
    };
    check(expected);
    check(received);
    if (differing == 0) {
        return "";
    }
    return first + " (" + std::to_string(differing) + " differing bytes in all)";
}

// Names the block a program offset falls in, for the message.
std::string compareBasic(const ExpectedBasic& expected, std::span<const uint8_t> program,
                         std::span<const uint8_t> companion) {
    for (size_t i = 0; i < kCompanionBlockSize; ++i) {
        const int got = i < companion.size() ? companion[i] : -1;
        if (got != expected.companion[i]) {
            return "companion block differs at byte " + std::to_string(i) + ": file has " +
                   hex8(expected.companion[i]) + ", terminal has " +
                   (got < 0 ? std::string("nothing") : hex8(static_cast<uint8_t>(got)));
        }
    }
    const size_t common = std::min(program.size(), expected.program.size());
    const auto mismatch = std::mismatch(
        program.begin(), program.begin() + static_cast<long>(common), expected.program.begin());
    if (mismatch.first != program.begin() + static_cast<long>(common)) {
        const auto offset = static_cast<size_t>(mismatch.first - program.begin());
        return "program differs at file offset " + std::to_string(offset) + ": file has " +
               hex8(*mismatch.second) + ", terminal has " + hex8(*mismatch.first);
    }
    if (program.size() != expected.program.size()) {
        return "program length differs: file sends " + std::to_string(expected.program.size()) +
               " bytes in blocks, terminal received " + std::to_string(program.size());
    }
    return "";
}

}  // namespace vorlanth::termsim
