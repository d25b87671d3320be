#include "fault_plan.h"

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

// A generator seeded from the plan's seed and the frame number.
SeededRandom FaultPlan::randomFor(uint64_t frameNumber) const {
    return SeededRandom(mix(config_.seed, frameNumber, 2));
}

}  // namespace vorlanth::termsim
