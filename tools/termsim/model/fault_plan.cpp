#include "fault_plan.h"

#include "framing.h"
#include "protocol_words.h"

#include <algorithm>
#include <array>
#include <utility>

namespace vorlanth::termsim {

namespace {

struct KindName {
    FaultKind kind;
    std::string_view name;
};

constexpr std::array<KindName, 10> kKindNames{{
    {FaultKind::AnswerFn, "fn"},
    {FaultKind::AnswerFf, "ff"},
    {FaultKind::AnswerNak, "nak"},
    {FaultKind::Garbage, "garbage"},
    {FaultKind::Silent, "silent"},
    {FaultKind::Late, "late"},
    {FaultKind::Split, "split"},
    {FaultKind::DropDatagram, "drop"},
    {FaultKind::DuplicateDatagram, "dup"},
    {FaultKind::ReorderDatagrams, "reorder"},
}};

// Mixes the seed and a frame number into an independent stream start.
uint64_t mix(uint64_t seed, uint64_t frame, uint64_t salt) {
    SeededRandom random(seed ^ (frame * 0x9E3779B97F4A7C15ull) ^ (salt << 56));
    random.next();
    return random.next();
}

// A random line that is none of the terminal's words.
std::string garbageWord(SeededRandom& random) {
    static constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789?#*";
    std::string word;
    const auto length = 1 + random.below(6);
    for (uint64_t i = 0; i < length; ++i) {
        word += kAlphabet[random.below(kAlphabet.size())];
    }
    for (std::string_view known :
         {reply::kAck, reply::kNak, reply::kChecksumWanted, reply::kAccepted, reply::kEraseUnderWay,
          reply::kSendAgain, reply::kRefused, reply::kAck1, reply::kAck2}) {
        if (word == known) {
            word += '?';
        }
    }
    return word;
}

}  // namespace

// The option word of a fault kind.
std::string_view faultKindName(FaultKind kind) {
    for (const auto& entry : kKindNames) {
        if (entry.kind == kind) {
            return entry.name;
        }
    }
    return "none";
}

// Parses an option word into a fault kind.
std::optional<FaultKind> parseFaultKind(std::string_view word) {
    for (const auto& entry : kKindNames) {
        if (entry.name == word) {
            return entry.kind;
        }
    }
    return std::nullopt;
}

// True for the kinds that act on datagrams.
bool isDatagramFault(FaultKind kind) {
    return kind == FaultKind::DropDatagram || kind == FaultKind::DuplicateDatagram ||
           kind == FaultKind::ReorderDatagrams;
}

// True when the terminal drops the frame: the loader must send it again.
bool faultRejectsFrame(FaultKind kind) {
    return kind == FaultKind::AnswerFn || kind == FaultKind::AnswerFf ||
           kind == FaultKind::AnswerNak || kind == FaultKind::Garbage || kind == FaultKind::Silent;
}

// Kinds a sound loader recovers from on any link.
std::vector<FaultKind> defaultFaultKinds() {
    return {FaultKind::AnswerFn, FaultKind::AnswerNak, FaultKind::Garbage, FaultKind::Silent,
            FaultKind::Split};
}

// One step of splitmix64.
uint64_t SeededRandom::next() {
    state_ += 0x9E3779B97F4A7C15ull;
    uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Without named kinds the plan draws from the default ones.
FaultPlan::FaultPlan(FaultConfig config) : config_(std::move(config)) {
    if (config_.kinds.empty()) {
        config_.kinds = defaultFaultKinds();
    }
}

// A listed frame gets its listed kind; any other eligible frame draws against the rate.
FaultKind FaultPlan::decide(uint64_t frameNumber, bool dataFrame) const {
    SeededRandom random(mix(config_.seed, frameNumber, 1));
    const auto listed = config_.at.find(frameNumber);
    if (listed != config_.at.end()) {
        if (listed->second != FaultKind::None) {
            return listed->second;
        }
        return config_.kinds[random.below(config_.kinds.size())];
    }
    if (config_.rate <= 0.0 || (!dataFrame && !config_.commandsToo)) {
        return FaultKind::None;
    }
    if (random.unit() >= config_.rate) {
        return FaultKind::None;
    }
    return config_.kinds[random.below(config_.kinds.size())];
}

// A rejecting fault swaps the word (or sends none); late and split change when and how
// the right word goes; the datagram kinds are passed on to the link.
AnswerShape FaultPlan::shapeAnswer(uint64_t frameNumber, FaultKind fault,
                                   std::string_view word) const {
    AnswerShape shape;
    shape.word = word;
    switch (fault) {
        case FaultKind::AnswerFn:
            shape.word = reply::kSendAgain;
            break;
        case FaultKind::AnswerFf:
            shape.word = reply::kRefused;
            break;
        case FaultKind::AnswerNak:
            shape.word = reply::kNak;
            break;
        case FaultKind::Garbage: {
            SeededRandom random = randomFor(frameNumber);
            shape.word = garbageWord(random);
            break;
        }
        case FaultKind::Silent:
            shape.silent = true;
            shape.word.clear();
            break;
        case FaultKind::Late:
            shape.lateBy = config_.lateUs;
            break;
        case FaultKind::Split:
            if (!shape.word.empty()) {
                // 2 to 4 pieces, never more than the answer (word and CR) has bytes.
                SeededRandom random = randomFor(frameNumber);
                shape.pieces = 2 + random.below(std::min<size_t>(shape.word.size(), 3));
                shape.pieceGap = config_.splitGapUs;
            }
            break;
        case FaultKind::DropDatagram:
        case FaultKind::DuplicateDatagram:
        case FaultKind::ReorderDatagrams:
            shape.datagramFault = fault;
            break;
        case FaultKind::None:
            break;
    }
    return shape;
}

// A generator seeded from the plan's seed and the frame number.
SeededRandom FaultPlan::randomFor(uint64_t frameNumber) const {
    return SeededRandom(mix(config_.seed, frameNumber, 2));
}

// Cuts the answer into datagrams, then loses, repeats or reverses them as the fault says.
std::vector<std::vector<uint8_t>> splitIntoDatagrams(std::span<const uint8_t> bytes, size_t maxSize,
                                                     FaultKind fault, SeededRandom& random) {
    // Reordering one datagram needs pieces to reorder: it goes out byte by byte.
    const size_t size =
        fault == FaultKind::ReorderDatagrams && bytes.size() <= maxSize ? 1 : maxSize;
    std::vector<std::vector<uint8_t>> datagrams = cutIntoDatagrams(bytes, size);
    if (datagrams.empty()) {
        return datagrams;
    }
    switch (fault) {
        case FaultKind::DropDatagram:
            datagrams.erase(datagrams.begin() +
                            static_cast<std::ptrdiff_t>(random.below(datagrams.size())));
            break;
        case FaultKind::DuplicateDatagram: {
            const auto at = static_cast<size_t>(random.below(datagrams.size()));
            datagrams.insert(datagrams.begin() + static_cast<std::ptrdiff_t>(at), datagrams[at]);
            break;
        }
        case FaultKind::ReorderDatagrams:
            std::reverse(datagrams.begin(), datagrams.end());
            break;
        default:
            break;
    }
    return datagrams;
}

}  // namespace vorlanth::termsim
