#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

#include "tests/fakes/fake_platform.h"

// Program files for the tests, built from their parts with counts and checksums right.
namespace vorlanth::testing {

using fakes::Bytes;

inline Bytes operator+(Bytes left, const Bytes& right) {
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

inline Bytes bigEndian(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
            static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

// One binary image section: start mark, address, length of data, data, end mark.
inline Bytes section(std::uint32_t address, const Bytes& data) {
    return fakes::bytesOf("TOLVEXSTART") + bigEndian(address) +
           bigEndian(static_cast<std::uint32_t>(data.size())) + data + fakes::bytesOf("TOLVEXEND");
}

// One S-record text line of type with address and data, its count and checksum right,
// upper-case digits, without a line end.
inline std::string srec(int type, std::uint32_t address, const Bytes& data) {
    static constexpr int kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    const int addressBytes = kAddressBytes[type];
    Bytes bytes = {static_cast<std::uint8_t>(addressBytes + data.size() + 1)};
    for (int i = addressBytes - 1; i >= 0; --i) {
        bytes.push_back(static_cast<std::uint8_t>(address >> (8 * i)));
    }
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (std::uint8_t byte : bytes) {
        sum += byte;
    }
    bytes.push_back(static_cast<std::uint8_t>(0xFF - (sum & 0xFF)));
    std::string line = "S";
    line.push_back(static_cast<char>('0' + type));
    for (std::uint8_t byte : bytes) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", byte);
        line += pair;
    }
    return line;
}

// The lines joined, each followed by end.
inline std::string lines(std::initializer_list<std::string> texts, std::string_view end = "\r\n") {
    std::string joined;
    for (const std::string& text : texts) {
        joined += text;
        joined += end;
    }
    return joined;
}

}  // namespace vorlanth::testing
