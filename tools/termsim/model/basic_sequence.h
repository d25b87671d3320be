// Where a BASIC upload stands in its block sequence, and what it has delivered so far.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vorlanth::termsim {

// The blocks in the order they come: companion (100), header (8), first count (2),
// N x 64, P x 64 (P = (N + 1) / 2), second count (2), M x 64, then "END\r".
class BasicSequence {
  public:
    // Starts over from the companion block, forgetting what came before.
    void restart();

    // Size of the next block without any checksum byte; 0 once every block is in.
    std::size_t nextBlockSize() const;

    // Keeps a good block and steps to the next one; the counts set the section lengths.
    void accept(std::span<const std::uint8_t> block);

    // True once the last block is in and "END\r" is due.
    bool complete() const { return step_ == Step::End; }

    // Header, counts and 64-byte pieces in the order received.
    const std::vector<std::uint8_t>& program() const { return program_; }

    // The 100 companion bytes (empty before the companion block).
    const std::vector<std::uint8_t>& companion() const { return companion_; }

  private:
    enum class Step {
        Companion,
        Header,
        FirstCount,
        FirstSection,
        SecondSection,
        SecondCount,
        ThirdSection,
        End
    };

    Step step_ = Step::Companion;
    std::uint32_t piecesLeft_ = 0;
    std::uint32_t secondSectionPieces_ = 0;
    std::vector<std::uint8_t> program_;
    std::vector<std::uint8_t> companion_;
};

}  // namespace vorlanth::termsim
