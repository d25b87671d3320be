#include "memory_image.h"

#include <algorithm>
#include <cstdio>

namespace vorlanth::termsim {

// Writes each byte into its page, counting bytes written for the first time; a page is looked
// up once for the bytes that fall into it (a record's bytes mostly share one).
bool MemoryImage::write(uint32_t address, std::span<const uint8_t> data) {
    if (uint64_t{address} + data.size() > uint64_t{1} << 32) {
        return false;
    }
    uint32_t at = address;
    std::size_t done = 0;
    while (done < data.size()) {
        Page& page = pages_[at / kPageSize];
        const uint32_t offset = at % kPageSize;
        const std::size_t count = std::min<std::size_t>(data.size() - done, kPageSize - offset);
        for (std::size_t i = 0; i < count; ++i) {
            if (!page.written.test(offset + i)) {
                page.written.set(offset + i);
                ++written_;
            }
            page.bytes[offset + i] = data[done + i];
        }
        done += count;
        at += static_cast<uint32_t>(count);
    }
    return true;
}

// Looks the byte up in its page.
std::optional<uint8_t> MemoryImage::read(uint32_t address) const {
    const auto page = pages_.find(address / kPageSize);
    if (page == pages_.end() || !page->second.written.test(address % kPageSize)) {
        return std::nullopt;
    }
    return page->second.bytes[address % kPageSize];
}

// First written byte of the first page.
uint32_t MemoryImage::lowest() const {
    for (const auto& [number, page] : pages_) {
        for (uint32_t offset = 0; offset < kPageSize; ++offset) {
            if (page.written.test(offset)) {
                return number * kPageSize + offset;
            }
        }
    }
    return 0;
}

// Last written byte of the last page.
uint32_t MemoryImage::highest() const {
    for (auto it = pages_.rbegin(); it != pages_.rend(); ++it) {
        for (uint32_t offset = kPageSize; offset-- > 0;) {
            if (it->second.written.test(offset)) {
                return it->first * kPageSize + offset;
            }
        }
    }
    return 0;
}

// Walks the pages in order, joining written bytes whose addresses follow on.
std::vector<MemoryRun> MemoryImage::runs() const {
    std::vector<MemoryRun> result;
    uint64_t nextAddress = ~0ull;
    for (const auto& [number, page] : pages_) {
        for (uint32_t offset = 0; offset < kPageSize; ++offset) {
            if (!page.written.test(offset)) {
                continue;
            }
            const uint64_t address = uint64_t{number} * kPageSize + offset;
            if (result.empty() || address != nextAddress) {
                result.push_back({static_cast<uint32_t>(address), {}});
            }
            result.back().bytes.push_back(page.bytes[offset]);
            nextAddress = address + 1;
        }
    }
    return result;
}

// Forgets every written byte, as an erase does.
void MemoryImage::clear() {
    pages_.clear();
    written_ = 0;
}

// Fills a buffer with 0xFF and lays each run into it.
std::optional<std::vector<uint8_t>> renderBinaryImage(const MemoryImage& image) {
    if (image.empty()) {
        return std::vector<uint8_t>{};
    }
    const uint32_t base = image.lowest();
    const uint64_t size = uint64_t{image.highest()} - base + 1;
    if (size > kMaxBinaryImageBytes) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(size, MemoryImage::kErased);
    for (const MemoryRun& run : image.runs()) {
        std::copy(run.bytes.begin(), run.bytes.end(), bytes.begin() + (run.address - base));
    }
    return bytes;
}

namespace {

// One S-record line: type digit, address of addressBytes bytes, data, checksum, CR LF.
void appendSRecord(std::string& text, char type, uint32_t address, int addressBytes,
                   std::span<const uint8_t> data) {
    char pair[3];
    const auto count = static_cast<unsigned>(data.size()) + static_cast<unsigned>(addressBytes) + 1;
    unsigned sum = count;
    text += 'S';
    text += type;
    std::snprintf(pair, sizeof pair, "%02X", count);
    text += pair;
    for (int shift = (addressBytes - 1) * 8; shift >= 0; shift -= 8) {
        const unsigned byte = (address >> shift) & 0xFFu;
        sum += byte;
        std::snprintf(pair, sizeof pair, "%02X", byte);
        text += pair;
    }
    for (uint8_t byte : data) {
        sum += byte;
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(byte));
        text += pair;
    }
    std::snprintf(pair, sizeof pair, "%02X", 0xFFu - (sum & 0xFFu));
    text += pair;
    text += "\r\n";
}

}  // namespace

// Cuts every run into lines of at most 32 data bytes.
std::string renderSRecordText(const MemoryImage& image) {
    constexpr size_t kLineBytes = 32;
    static constexpr uint8_t kHeader[] = {'t', 'e', 'r', 'm', 's', 'i', 'm'};
    std::string text;
    appendSRecord(text, '0', 0, 2, kHeader);
    for (const MemoryRun& run : image.runs()) {
        for (size_t offset = 0; offset < run.bytes.size(); offset += kLineBytes) {
            const size_t length = std::min(kLineBytes, run.bytes.size() - offset);
            appendSRecord(text, '3', static_cast<uint32_t>(run.address + offset), 4,
                          std::span(run.bytes).subspan(offset, length));
        }
    }
    appendSRecord(text, '7', 0, 4, {});
    return text;
}

}  // namespace vorlanth::termsim
