// Sparse model of the terminal's flash: which bytes were written, and with what.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vorlanth::termsim {

// One run of consecutively written bytes.
struct MemoryRun {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
};

class MemoryImage {
  public:
    static constexpr uint32_t kPageSize = 4096;
    static constexpr uint8_t kErased = 0xFF;

    // Writes bytes from `address` on. Data that would run past 0xFFFFFFFF is refused whole
    // (false, nothing written): flash has no byte after the last address.
    [[nodiscard]] bool write(uint32_t address, std::span<const uint8_t> data);

    // The byte at `address`, or nullopt when it was never written.
    std::optional<uint8_t> read(uint32_t address) const;

    // The byte as flash reads it: unwritten bytes read as erased (0xFF).
    uint8_t readFlash(uint32_t address) const { return read(address).value_or(kErased); }

    bool empty() const { return written_ == 0; }
    uint64_t writtenCount() const { return written_; }

    // Lowest and highest written address; only meaningful when not empty.
    uint32_t lowest() const;
    uint32_t highest() const;

    // All written bytes as runs of consecutive addresses, in address order.
    std::vector<MemoryRun> runs() const;

    void clear();

  private:
    struct Page {
        std::array<uint8_t, kPageSize> bytes{};
        std::bitset<kPageSize> written;
    };
    std::map<uint32_t, Page> pages_;  // keyed by address / kPageSize
    uint64_t written_ = 0;
};

// Largest binary image rendered, so far-apart addresses cannot exhaust memory.
inline constexpr uint64_t kMaxBinaryImageBytes = 256ull * 1024 * 1024;

// The image from its lowest written address to its highest, gaps as 0xFF.
// Returns nullopt when the span exceeds kMaxBinaryImageBytes.
std::optional<std::vector<uint8_t>> renderBinaryImage(const MemoryImage& image);

// The image as S-record text: an S0 header, S3 lines of up to 32 bytes, an S7 end, CR LF.
std::string renderSRecordText(const MemoryImage& image);

}  // namespace vorlanth::termsim
