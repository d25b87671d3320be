// What the loader would make of a program file, found without any link: pieces, bytes,
// memory ranges, line time and warnings (vorlanth-cli --check, the fleet list's check).
#include "shell/program_check.h"

#include <algorithm>
#include <map>

#include "common/hex_text.h"
#include "protocol/record.h"
#include "protocol/words.h"
#include "readers/file_types.h"
#include "readers/program_decoder.h"
#include "shell/main_loop.h"

namespace vorlanth::shell {

namespace {

// Bytes on the line for a record besides its data: "S", type, count, address, checksum, CR;
// and its answer "FA\r".
constexpr std::uint64_t kRecordLineBytes = protocol::kRecordDataOffset + 2 + 3;
// A block's answer "ACK\r" (blocks are counted without a checksum byte: the terminal chooses).
constexpr std::uint64_t kBlockAnswerBytes = protocol::reply::kAck.size() + 1;
// The companion block's size.
constexpr std::uint64_t kCompanionBlockBytes = 100;

// Counts what the decoder hands on and follows the memory it covers: merged ranges, data
// that land on earlier data, and data that come before the end of the data before them.
class ReportingSink final : public readers::ProgramSink {
  public:
    explicit ReportingSink(ProgramReport& report) : report_(report) {}

    bool record(std::uint32_t, std::span<const std::uint8_t> data) override {
        ++report_.records;
        report_.dataBytes += data.size();
        report_.lineBytes += kRecordLineBytes + data.size();
        return true;
    }
    bool block(std::span<const std::uint8_t> data) override {
        ++report_.blocks;
        report_.dataBytes += data.size();
        report_.lineBytes += data.size() + kBlockAnswerBytes;
        return true;
    }
    void progress(std::uint64_t, std::uint64_t) override {}
    void covers(std::uint32_t address, std::uint64_t length) override;

    // The warnings about order and overlaps, and the ranges, into the report.
    void finish();

  private:
    ProgramReport& report_;
    std::map<std::uint32_t, std::uint64_t> ranges_;  // first -> end, merged
    std::uint64_t previousEnd_ = 0;
    std::uint64_t outOfOrder_ = 0;
    std::uint64_t overlapping_ = 0;
    std::string firstOutOfOrder_;
    std::string firstOverlap_;
};

void ReportingSink::covers(std::uint32_t address, std::uint64_t length) {
    if (length == 0) {
        return;
    }
    std::uint64_t first = address;
    std::uint64_t end = first + length;
    if (first < previousEnd_ && outOfOrder_++ == 0) {
        firstOutOfOrder_ = hexAddress(first) + " after data up to " + hexAddress(previousEnd_ - 1);
    }
    previousEnd_ = end;
    // The ranges that touch or overlap [first, end) are merged into one.
    auto next = ranges_.upper_bound(address);
    if (next != ranges_.begin()) {
        auto before = std::prev(next);
        if (before->second >= first) {
            next = before;
        }
    }
    bool overlaps = false;
    while (next != ranges_.end() && next->first <= end) {
        overlaps = overlaps || (next->first < end && next->second > first);
        first = std::min<std::uint64_t>(first, next->first);
        end = std::max(end, next->second);
        next = ranges_.erase(next);
    }
    if (overlaps && overlapping_++ == 0) {
        firstOverlap_ = hexAddress(address);
    }
    ranges_[static_cast<std::uint32_t>(first)] = end;
}

void ReportingSink::finish() {
    for (const auto& [first, end] : ranges_) {
        report_.ranges.push_back({first, end});
    }
    if (overlapping_ > 0) {
        report_.warnings.push_back(std::to_string(overlapping_) +
                                   " part(s) overlap data earlier in the file (first at " +
                                   firstOverlap_ + "): the later data win on the terminal");
    }
    if (outOfOrder_ > 0) {
        report_.warnings.push_back(std::to_string(outOfOrder_) +
                                   " part(s) out of address order (first at " + firstOutOfOrder_ +
                                   ")");
    }
}

}  // namespace

ProgramReport checkProgramFile(platform::Platform& platform, std::string_view path, int fileType,
                               const std::optional<platform::Sha256Digest>& expected) {
    ProgramReport report;
    report.fileType = fileType;
    report.path = std::string(path);
    report.expectedSha256 = expected;
    const auto cannotOpen = [&report](const std::string& object, const char* reason) {
        report.outcome = CheckOutcome::CannotOpen;
        report.error = objectFailure(object, reason);
        return report;
    };
    platform::FileSystem& files = platform.files();
    const std::unique_ptr<platform::ReadableFile> program = files.openForReading(report.path);
    if (!program) {
        return cannotOpen(report.path, "the file cannot be opened");
    }
    std::unique_ptr<platform::ReadableFile> companion;
    if (readers::hasCompanion(fileType)) {
        report.companionPath = companionNameFor(path);
        companion = files.openForReading(report.companionPath);
        if (!companion) {
            return cannotOpen(report.companionPath, "the companion settings file cannot be opened");
        }
        const std::int64_t companionSize = companion->size();
        if (companionSize > static_cast<std::int64_t>(kCompanionBlockBytes)) {
            report.warnings.push_back("only the first 100 of the companion's " +
                                      std::to_string(companionSize) + " bytes are sent");
        }
    }
    const std::int64_t size = program->size();
    report.fileSize = size > 0 ? static_cast<std::uint64_t>(size) : 0;

    ReportingSink sink(report);
    const DigestedCheck check = decodeWithDigests(
        platform, fileType, {*program, report.path, companion.get(), report.companionPath}, sink);
    const readers::DecodeResult& decoded = check.decoded;
    report.digests = check.digests;
    sink.finish();
    if (decoded.status != readers::DecodeStatus::Complete) {
        report.outcome = decoded.status == readers::DecodeStatus::FormatError
                             ? CheckOutcome::NotValid
                             : CheckOutcome::CannotOpen;
        report.error = decoded.error;
        report.error.object =
            decoded.errorIn == readers::ProgramPart::Companion ? report.companionPath : report.path;
        return report;
    }
    if (std::optional<FailureDetail> refused = refuseUnexpected(check, expected, report.path)) {
        report.outcome = refused->kind == FailureKind::UnexpectedDigest
                             ? CheckOutcome::UnexpectedDigest
                             : CheckOutcome::CannotOpen;
        report.error = std::move(*refused);
        return report;
    }
    if (!check.digestFailure.empty()) {
        report.warnings.push_back("the SHA-256 could not be taken: " +
                                  describeFailure(check.digestFailure));
    }
    // The end: the end record and its answer, or "END\r" and "ACK\r".
    const readers::FileTypeRow& type = readers::fileTypeBehaviour(fileType);
    report.lineBytes += type.end == readers::ProgramEnd::BasicEnd
                            ? protocol::command::kBasicEnd.size() + kBlockAnswerBytes
                            : protocol::kEndRecord.size() + 3;
    if (decoded.trailingBytes > 0) {
        report.warnings.push_back(std::to_string(decoded.trailingBytes) + " byte(s) after the " +
                                  std::string(type.lastPartName) + " are never sent");
    }
    return report;
}

double lineSeconds(const ProgramReport& report, std::uint32_t rate) {
    return rate == 0 ? 0.0 : static_cast<double>(report.lineBytes) * 10.0 / rate;
}

}  // namespace vorlanth::shell
