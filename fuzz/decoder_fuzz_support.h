// Shared body of the decoder fuzz targets: one decoder over files held in memory, its sink
// checking what every decoder promises, and the same bytes decoded a second time in one of
// three ways, picked by the input: with short reads (the same calls and the same result), with
// a read that fails or a file that ends early part-way (a prefix of the same calls, and never a
// completion that hides the cut), or with a sink that asks to stop (nothing after the stop).
//
// Promises checked on every call: a record's data fit one record and never run past address
// 0xFFFFFFFF, nor does covered memory; progress stays within the file and never goes back. On
// the result: a format error names a place inside its file (for a text, a line and column that
// agree with the offset), a read error an offset within the size, and the trailing-byte count
// fits the file.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "fuzz/invariant.h"
#include "protocol/record.h"
#include "readers/program_decoder.h"

namespace vorlanth::fuzzing {

using ByteView = std::span<const std::uint8_t>;

using readers::kAddressSpaceEnd;

// How a memory file hands out its bytes.
enum class ReadStyle {
    Whole,    // as much as asked
    Short,    // a few bytes a read, in a changing pattern
    FailsAt,  // as asked up to a cut, then every read fails
    EndsAt,   // as asked up to a cut, then the file ends although its size says more
};

// A readable file over bytes the caller keeps.
class MemoryFile final : public platform::ReadableFile {
  public:
    explicit MemoryFile(ByteView bytes, ReadStyle style = ReadStyle::Whole, std::size_t cut = 0)
        : bytes_(bytes), style_(style), cut_(std::min(cut, bytes.size())) {}

    std::int64_t read(std::span<std::uint8_t> buffer) override {
        std::size_t count = std::min(buffer.size(), bytes_.size() - position_);
        if (style_ == ReadStyle::Short) {
            count = std::min(count, kShortReads[reads_++ % kShortReads.size()]);
        } else if (style_ != ReadStyle::Whole) {
            if (position_ >= cut_) {
                return style_ == ReadStyle::FailsAt ? -1 : 0;
            }
            count = std::min(count, cut_ - position_);
        }
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), count, buffer.begin());
        position_ += count;
        return static_cast<std::int64_t>(count);
    }
    std::int64_t size() override { return static_cast<std::int64_t>(bytes_.size()); }
    bool rewind() override {
        position_ = 0;
        reads_ = 0;
        return true;
    }

  private:
    static constexpr std::array<std::size_t, 6> kShortReads = {1, 3, 64, 2, 255, 7};
    ByteView bytes_;
    ReadStyle style_;
    std::size_t cut_;
    std::size_t position_ = 0;
    std::size_t reads_ = 0;
};

// One call a decoder made on its sink.
struct SinkCall {
    enum Kind : std::uint8_t { Record, Block, Covers, Progress };
    Kind kind = Record;
    std::uint32_t address = 0;  // records and covered memory
    std::uint64_t length = 0;   // data bytes, covered bytes, or progress done
    std::uint64_t value = 0;    // records and blocks: where their data start in the log's data;
                                // progress: the total
};

// Every call of one decoding, in order, with the data of the records and blocks.
struct CallLog {
    std::vector<SinkCall> calls;
    std::vector<std::uint8_t> data;
    std::size_t sends = 0;  // records and blocks

    ByteView dataOf(const SinkCall& call) const {
        return ByteView(data).subspan(call.value, call.length);
    }
    bool sameCall(std::size_t i, const CallLog& other, std::size_t j) const {
        const SinkCall& mine = calls[i];
        const SinkCall& theirs = other.calls[j];
        if (mine.kind != theirs.kind || mine.address != theirs.address ||
            mine.length != theirs.length) {
            return false;
        }
        if (mine.kind == SinkCall::Record || mine.kind == SinkCall::Block) {
            const ByteView a = dataOf(mine);
            const ByteView b = other.dataOf(theirs);
            return std::equal(a.begin(), a.end(), b.begin(), b.end());
        }
        return mine.kind != SinkCall::Progress || mine.value == theirs.value;
    }
};

// Logs every call and checks the promises each call must keep; asks the decoder to stop after
// stopAfter records and blocks.
class CheckingSink final : public readers::ProgramSink {
  public:
    CheckingSink(CallLog& log, std::uint64_t fileSize, std::size_t stopAfter)
        : log_(log), fileSize_(fileSize), stopAfter_(stopAfter) {}

    bool record(std::uint32_t address, ByteView data) override {
        if (data.size() > protocol::kMaxRecordData) {
            invariantBroken("a record holds more than a record carries",
                            std::to_string(data.size()));
        }
        require(address + std::uint64_t{data.size()} <= kAddressSpaceEnd,
                "a record runs past address 0xFFFFFFFF");
        return send(SinkCall::Record, address, data);
    }
    bool block(ByteView data) override {
        require(data.size() <= kTransmitBufferSize - 1, "a block does not fit the buffer");
        return send(SinkCall::Block, 0, data);
    }
    void covers(std::uint32_t address, std::uint64_t length) override {
        notStopped();
        require(address + length <= kAddressSpaceEnd, "covered memory runs past 0xFFFFFFFF");
        log_.calls.push_back({SinkCall::Covers, address, length, 0});
    }
    void progress(std::uint64_t done, std::uint64_t total) override {
        notStopped();
        require(total == fileSize_, "progress of another total than the file's size");
        if (done > total || done < lastDone_) {
            invariantBroken("progress beyond the file or going back",
                            std::to_string(lastDone_) + " then " + std::to_string(done) + " of " +
                                std::to_string(total));
        }
        lastDone_ = done;
        log_.calls.push_back({SinkCall::Progress, 0, done, total});
    }

    bool askedToStop() const { return stopped_; }

  private:
    bool send(SinkCall::Kind kind, std::uint32_t address, ByteView data) {
        notStopped();
        log_.calls.push_back({kind, address, data.size(), log_.data.size()});
        log_.data.insert(log_.data.end(), data.begin(), data.end());
        stopped_ = ++log_.sends >= stopAfter_;
        return !stopped_;
    }
    void notStopped() const { require(!stopped_, "the decoder went on after the sink said stop"); }

    CallLog& log_;
    std::uint64_t fileSize_;
    std::size_t stopAfter_;
    std::uint64_t lastDone_ = 0;
    bool stopped_ = false;
};

// The files of one case: the program, and for a BASIC program its companion (none: decoded
// without one, as for a file type out of range).
struct DecoderCase {
    ByteView program;
    std::optional<ByteView> companion;
    bool text = false;  // the program is a text: its errors name line and column
};

using Decoder = readers::DecodeResult (*)(platform::ReadableFile& program,
                                          platform::ReadableFile* companion,
                                          readers::ProgramSink& sink);

struct DecodePass {
    CallLog log;
    readers::DecodeResult result;
    bool askedToStop = false;
};

// Decodes the case once into pass (its log's storage is reused from input to input).
inline void decodeOnce(DecodePass& pass, const DecoderCase& input, Decoder decode, ReadStyle style,
                       std::size_t cut = 0, std::size_t stopAfter = SIZE_MAX) {
    pass.log.calls.clear();
    pass.log.data.clear();
    pass.log.sends = 0;
    MemoryFile program(input.program, style, cut);
    std::optional<MemoryFile> companion;
    if (input.companion) {
        companion.emplace(*input.companion);
    }
    CheckingSink sink(pass.log, input.program.size(), stopAfter);
    pass.result = decode(program, companion ? &*companion : nullptr, sink);
    pass.askedToStop = sink.askedToStop();
}

// The line and column (both 1-based) of the byte at offset in text.
inline std::pair<std::int64_t, std::int64_t> placeOf(ByteView text, std::uint64_t offset) {
    std::int64_t line = 1;
    std::uint64_t lineStart = 0;
    for (std::uint64_t i = 0; i < offset && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            lineStart = i + 1;
        }
    }
    return {line, static_cast<std::int64_t>(offset - lineStart + 1)};
}

inline std::string placeText(const FailureDetail& error) {
    return error.reason + " (offset " + std::to_string(error.offset) + ", line " +
           std::to_string(error.line) + ", column " + std::to_string(error.column) + ")";
}

// The promises of a result: where a failure is, and what the trailing count may be.
inline void checkResult(const DecoderCase& input, const readers::DecodeResult& result) {
    const FailureDetail& error = result.error;
    require(result.status == readers::DecodeStatus::Complete || result.trailingBytes == 0,
            "trailing bytes counted without a complete program");
    require(result.trailingBytes <= input.program.size(), "more trailing bytes than the file has");
    if (result.status == readers::DecodeStatus::Complete ||
        result.status == readers::DecodeStatus::Stopped) {
        return;
    }
    require(!error.reason.empty(), "a failure without a reason");
    const bool inCompanion = result.errorIn == readers::ProgramPart::Companion;
    require(!inCompanion || input.companion.has_value(), "an error in a companion never given");
    const ByteView file = inCompanion ? *input.companion : input.program;
    if (error.offset < 0 || static_cast<std::uint64_t>(error.offset) > file.size()) {
        invariantBroken("a failure's offset outside the file", placeText(error));
    }
    if (result.status == readers::DecodeStatus::ReadError) {
        return;
    }
    require(error.kind == FailureKind::FileFormat, "a format error of another kind");
    if (!input.text || inCompanion) {
        require(error.line == 0 && error.column == 0, "a line in a file that has none");
        return;
    }
    const auto offset = static_cast<std::uint64_t>(error.offset);
    if (error.line == 0) {
        // Only the file as a whole has no line: empty, or ending too soon.
        if (error.column != 0 || offset != file.size()) {
            invariantBroken("a text error without its line", placeText(error));
        }
        return;
    }
    const auto [line, column] = placeOf(file, offset);
    if (error.line != line || error.column != column) {
        invariantBroken("a text error whose line and column are not where its offset is",
                        placeText(error) + ", the offset is at line " + std::to_string(line) +
                            ", column " + std::to_string(column));
    }
}

inline bool sameResult(const readers::DecodeResult& a, const readers::DecodeResult& b) {
    return a.status == b.status && a.errorIn == b.errorIn && a.trailingBytes == b.trailingBytes &&
           a.error.kind == b.error.kind && a.error.reason == b.error.reason &&
           a.error.offset == b.error.offset && a.error.line == b.error.line &&
           a.error.column == b.error.column;
}

// True when the records, blocks and covered memory of part come in whole in whole, in order
// (progress points are left out: a cut read moves them).
inline bool sendsArePrefix(const CallLog& part, const CallLog& whole) {
    std::size_t j = 0;
    for (std::size_t i = 0; i < part.calls.size(); ++i) {
        if (part.calls[i].kind == SinkCall::Progress) {
            continue;
        }
        while (j < whole.calls.size() && whole.calls[j].kind == SinkCall::Progress) {
            ++j;
        }
        if (j == whole.calls.size() || !part.sameCall(i, whole, j)) {
            return false;
        }
        ++j;
    }
    return true;
}

// A number taken from the input, to pick where a cut or a stop falls.
inline std::uint64_t inputHash(ByteView bytes) {
    std::uint64_t hash = 1469598103934665603u ^ bytes.size();
    const std::size_t step = bytes.size() / 16 + 1;
    for (std::size_t i = 0; i < bytes.size(); i += step) {
        hash = (hash ^ bytes[i]) * 1099511628211u;
    }
    return hash;
}

// Decodes the case, checks it, and decodes it once more in the way the input picks; returns
// the first decoding for the checks of its own file type. The passes' storage lives on from
// input to input, so that a run allocates little.
inline const DecodePass& runDecoderCase(const DecoderCase& input, Decoder decode) {
    static DecodePass whole;
    static DecodePass second;
    decodeOnce(whole, input, decode, ReadStyle::Whole);
    checkResult(input, whole.result);
    require(whole.result.status != readers::DecodeStatus::Stopped, "stopped by nobody");

    const std::uint64_t hash = inputHash(input.program);
    const std::size_t size = input.program.size();
    switch (whole.log.sends > 0 ? hash % 3 : hash % 2) {
        case 0:
            decodeOnce(second, input, decode, ReadStyle::Short);
            if (!sameResult(second.result, whole.result)) {
                invariantBroken(
                    "short reads change the result",
                    placeText(second.result.error) + " vs " + placeText(whole.result.error));
            }
            require(second.log.calls.size() == whole.log.calls.size() &&
                        sendsArePrefix(second.log, whole.log),
                    "short reads change what the sink is given");
            break;
        case 1: {
            const std::size_t cut = size == 0 ? 0 : (hash >> 8) % size;
            decodeOnce(second, input, decode,
                       (hash >> 32) & 1 ? ReadStyle::FailsAt : ReadStyle::EndsAt, cut);
            checkResult(input, second.result);
            require(sendsArePrefix(second.log, whole.log), "a cut file gives other sends");
            if (second.result.status == readers::DecodeStatus::Complete) {
                require(
                    sameResult(second.result, whole.result) && second.log.sends == whole.log.sends,
                    "a cut file completes with less than the whole file sends");
            } else {
                require(second.result.status != readers::DecodeStatus::Stopped,
                        "a cut file stopped");
            }
            break;
        }
        default: {
            const std::size_t stopAfter = 1 + (hash >> 8) % whole.log.sends;
            decodeOnce(second, input, decode, ReadStyle::Whole, 0, stopAfter);
            require(second.result.status == readers::DecodeStatus::Stopped &&
                        second.log.sends == stopAfter,
                    "a sink's stop was not kept");
            require(sendsArePrefix(second.log, whole.log), "a stopped decoding gives other sends");
            break;
        }
    }
    return whole;
}

}  // namespace vorlanth::fuzzing
