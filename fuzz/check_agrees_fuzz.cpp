// Fuzz target: what the check of a program file reports (the check before an upload, and
// --check) against what the upload then puts on the line for the same bytes. A file the report
// refuses must be refused by the upload's check pass with the same place and reason and send
// nothing; a file it takes must send exactly the records or blocks, the data bytes and the
// line bytes it announced, over memory that its merged ranges describe. Both take the same
// SHA-256 of the file and its companion.
//
// Input layout: byte 0 picks the file type (its value modulo 3: S-record, BASIC, binary
// image); for BASIC bytes 1 and 2 give the companion's length (low byte first); the rest is
// the file. The terminal acknowledges every record and block. Most S-record mutants have their
// counts and checksums made right, so that they get past the line check.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fuzz/invariant.h"
#include "fuzz/srecord_repair.h"
#include "link/link.h"
#include "protocol/record.h"
#include "shell/program_check.h"
#include "shell/program_sender.h"
#include "shell/session.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording_front_end.h"

namespace {

using namespace vorlanth;
using fuzzing::require;

constexpr const char* kProgramPath = "program.file";
constexpr const char* kCompanionPath = "program.ini";

// The progress positions the sending sets.
class ProgressRecorder final : public shell::ProgressSink {
  public:
    void setProgress(int percent, std::uint64_t, std::uint64_t) override {
        require(percent >= last && percent <= 100, "progress going back or beyond 100");
        last = percent;
    }
    void stayResponsive() override {}
    int last = 0;
};

// Memory as merged ranges: first -> end, touching ranges joined.
using RangeMap = std::map<std::uint64_t, std::uint64_t>;

void addRange(RangeMap& ranges, std::uint64_t first, std::uint64_t end) {
    if (first == end) {
        return;
    }
    auto next = ranges.upper_bound(first);
    if (next != ranges.begin() && std::prev(next)->second >= first) {
        --next;
    }
    while (next != ranges.end() && next->first <= end) {
        first = std::min(first, next->first);
        end = std::max(end, next->second);
        next = ranges.erase(next);
    }
    ranges[first] = end;
}

std::string counts(std::uint64_t reported, std::uint64_t sent) {
    return "report " + std::to_string(reported) + ", sent " + std::to_string(sent);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const int fileType = data[0] % 3;
    const std::size_t header = fileType == Basic ? 3 : 1;
    if (size < header) {
        return 0;
    }
    fakes::Bytes file(data + header, data + size);
    fakes::Bytes companion;
    if (fileType == Basic) {
        const std::size_t length = std::min<std::size_t>(data[1] + 256u * data[2], file.size());
        companion.assign(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
        file.erase(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
    }

    fakes::FakePlatform platform;
    platform.fileSystem.files[kProgramPath] = file;
    if (fileType == Basic) {
        platform.fileSystem.files[kCompanionPath] = companion;
    }
    const shell::ProgramReport report = shell::checkProgramFile(platform, kProgramPath, fileType);
    require(report.outcome != shell::CheckOutcome::CannotOpen, "a file in memory cannot be read",
            report.error.reason);

    fakes::RecordingFrontEnd frontEnd;
    Session session(platform, frontEnd);
    session.settings.linkType = Serial;
    session.settings.fileType = fileType;
    session.settings.programPath.assign(kProgramPath);
    session.programFile = platform.fileSystem.openForReading(kProgramPath);
    if (fileType == Basic) {
        session.companionName.assign(kCompanionPath);
        session.companionFile = platform.fileSystem.openForReading(kCompanionPath);
    }
    std::uint64_t answered = 0;
    const std::string_view answer = fileType == Basic ? "ACK\r" : "FA\r";
    platform.serialLine.responder = [&](fakes::FakeSerialLine& line,
                                        std::span<const std::uint8_t>) {
        line.deliver(answer);
        answered += answer.size();
    };
    link::Link link = linkOf(session);
    require(link::openLink(link) == ResultCode::Done, "the fake link did not open");

    const ResultCode checked = shell::checkProgramFiles(session);
    require(frontEnd.checked.size() == 1 && frontEnd.checked[0].program == report.digests.program &&
                frontEnd.checked[0].companion == report.digests.companion,
            "the report and the upload's check pass take different digests");
    if (report.outcome == shell::CheckOutcome::NotValid) {
        const FailureDetail& said = report.error;
        const FailureDetail& found = session.failure;
        require(!succeeded(checked) && platform.serialLine.writes.empty(),
                "a file the report refuses passes the upload's check");
        require(said.reason == found.reason && said.offset == found.offset &&
                    said.line == found.line && said.column == found.column &&
                    said.object == found.object,
                "the report and the upload place a format error differently",
                describeFailure(said) + " / " + describeFailure(found));
        return 0;
    }
    require(checked == ResultCode::Done, "a file the report takes fails the upload's check",
            describeFailure(session.failure));
    ProgressRecorder progress;
    require(shell::transferProgram(session, progress) == ResultCode::Done,
            "a file the report takes fails to send to a terminal that takes everything",
            describeFailure(session.failure));

    // What went on the line: records (or blocks) and the end.
    const std::vector<fakes::TimedWrite>& writes = platform.serialLine.writes;
    require(!writes.empty(), "nothing was sent");
    std::uint64_t lineBytes = answered;
    std::uint64_t dataBytes = 0;
    RangeMap sentRanges;
    for (std::size_t i = 0; i < writes.size(); ++i) {
        const fakes::Bytes& frame = writes[i].bytes;
        lineBytes += frame.size();
        if (i + 1 == writes.size()) {
            break;  // the end record, or "END\r"
        }
        if (fileType == Basic) {
            dataBytes += frame.size();
            continue;
        }
        require(frame.size() >= 9 && frame[0] == 'S' && frame[1] == '3' &&
                    frame[2] == frame.size() - 4 && frame.back() == '\r',
                "a record frame out of shape");
        const std::uint64_t address = std::uint64_t{frame[3]} << 24 |
                                      std::uint64_t{frame[4]} << 16 | std::uint64_t{frame[5]} << 8 |
                                      frame[6];
        const std::uint64_t length = frame.size() - 9;
        dataBytes += length;
        addRange(sentRanges, address, address + length);
    }
    const std::uint64_t sends = writes.size() - 1;
    require(fileType == Basic ? report.blocks == sends && report.records == 0
                              : report.records == sends && report.blocks == 0,
            "the report counts other records or blocks than were sent",
            counts(report.records + report.blocks, sends));
    require(report.dataBytes == dataBytes, "the report counts other data bytes than were sent",
            counts(report.dataBytes, dataBytes));
    require(report.lineBytes == lineBytes, "the report counts other line bytes than went both ways",
            counts(report.lineBytes, lineBytes));
    if (fileType == Basic) {
        require(report.ranges.empty(), "a BASIC program reported with memory ranges");
        return 0;
    }
    // An S-record program covers exactly what its records carry; a binary image's sections
    // also cover the erased bytes its records leave out, but every section starts a record.
    for (std::size_t i = 1; i < report.ranges.size(); ++i) {
        require(report.ranges[i - 1].end < report.ranges[i].first,
                "the report's ranges are not merged or not in order");
    }
    if (fileType == SRecord) {
        require(sentRanges.size() == report.ranges.size(),
                "the report's ranges are not the records'",
                counts(report.ranges.size(), sentRanges.size()));
        std::size_t i = 0;
        for (const auto& [first, end] : sentRanges) {
            require(report.ranges[i].first == first && report.ranges[i].end == end,
                    "a reported range differs from the records'");
            ++i;
        }
        return 0;
    }
    for (const auto& sent : sentRanges) {
        const auto holds = std::find_if(
            report.ranges.begin(), report.ranges.end(), [&](const shell::AddressRange& range) {
                return range.first <= sent.first && sent.second <= range.end;
            });
        require(holds != report.ranges.end(), "records outside every reported range");
    }
    for (const shell::AddressRange& range : report.ranges) {
        require(sentRanges.count(range.first) == 1, "a reported range whose start was not sent");
    }
    return 0;
}

// Mutates, then makes an S-record file's counts and checksums right in seven mutants of eight.
extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned int seed) {
    size = LLVMFuzzerMutate(data, size, maxSize);
    if (size > 1 && data[0] % 3 == SRecord && seed % 8 != 0) {
        fuzzing::repairSRecordLines(data + 1, size - 1, true);
    }
    return size;
}
