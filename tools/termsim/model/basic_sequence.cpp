#include "basic_sequence.h"

#include "protocol_words.h"

namespace vorlanth::termsim {

namespace {

// A 2-byte count block, low byte first.
std::uint32_t countOf(std::span<const std::uint8_t> block) {
    return block[0] + 256u * block[1];
}

}  // namespace

// Back to the companion block with nothing kept.
void BasicSequence::restart() {
    step_ = Step::Companion;
    piecesLeft_ = 0;
    secondSectionPieces_ = 0;
    program_.clear();
    companion_.clear();
}

// The size the current step's block has on the wire.
std::size_t BasicSequence::nextBlockSize() const {
    switch (step_) {
        case Step::Companion:
            return kCompanionBlockSize;
        case Step::Header:
            return kHeaderBlockSize;
        case Step::FirstCount:
        case Step::SecondCount:
            return kCountBlockSize;
        case Step::FirstSection:
        case Step::SecondSection:
        case Step::ThirdSection:
            return kPieceSize;
        case Step::End:
            return 0;
    }
    return 0;
}

// The companion is kept apart; every other block joins the program in file order.
void BasicSequence::accept(std::span<const std::uint8_t> block) {
    if (step_ == Step::Companion) {
        companion_.assign(block.begin(), block.end());
        step_ = Step::Header;
        return;
    }
    program_.insert(program_.end(), block.begin(), block.end());
    switch (step_) {
        case Step::Header:
            step_ = Step::FirstCount;
            break;
        case Step::FirstCount: {
            const std::uint32_t pieces = countOf(block);
            secondSectionPieces_ = (pieces + 1) / 2;
            piecesLeft_ = pieces;
            step_ = pieces > 0 ? Step::FirstSection : Step::SecondCount;
            break;
        }
        case Step::FirstSection:
            if (--piecesLeft_ == 0) {
                piecesLeft_ = secondSectionPieces_;
                step_ = Step::SecondSection;
            }
            break;
        case Step::SecondSection:
            if (--piecesLeft_ == 0) {
                step_ = Step::SecondCount;
            }
            break;
        case Step::SecondCount:
            piecesLeft_ = countOf(block);
            step_ = piecesLeft_ > 0 ? Step::ThirdSection : Step::End;
            break;
        case Step::ThirdSection:
            if (--piecesLeft_ == 0) {
                step_ = Step::End;
            }
            break;
        case Step::Companion:
        case Step::End:
            break;
    }
}

}  // namespace vorlanth::termsim
