// Reads and checks a fleet list before anything is sent: each line's fields, its program file
// (decoded once per path and type), its address, and that no two lines name one terminal.
#include "shell/fleet_list.h"

#include <array>
#include <map>
#include <optional>
#include <utility>

#include "common/text.h"
#include "link/link_kind.h"
#include "shell/command_line.h"
#include "shell/program_check.h"
#include "shell/result_messages.h"

namespace vorlanth::shell {

namespace {

// The message of a list line that names a terminal an earlier line names already.
constexpr std::string_view kDuplicateTarget = "Duplicate target!";
// The message of a list without any target.
constexpr std::string_view kEmptyList = "The list names no target!";

// A line, or the whole list, that cannot be used as it is.
FailureDetail unusable(std::string object, std::string reason) {
    return objectFailure(std::move(object), std::move(reason), FailureKind::Usage);
}

// What an upload would find wrong with the line's program before any link: the message it
// would show and why, an empty message when the program would upload; and the program's digests.
// The outcome of each path and type is kept, so a program named on many lines is decoded once.
class ProgramChecker {
  public:
    ProgramChecker(platform::Platform& platform,
                   const std::optional<platform::Sha256Digest>& expected)
        : platform_(platform), expected_(expected) {}

    struct Outcome {
        std::string message;
        FailureDetail detail;
        ProgramDigests digests;
    };

    const Outcome& check(const UploadSettings& settings) {
        const auto key = std::make_pair(settings.programPath.str(), settings.fileType);
        auto found = outcomes_.find(key);
        if (found == outcomes_.end()) {
            found = outcomes_.emplace(key, decode(settings)).first;
        }
        return found->second;
    }

  private:
    Outcome decode(const UploadSettings& settings) {
        const ProgramReport report =
            checkProgramFile(platform_, settings.programPath.view(), settings.fileType, expected_);
        Outcome outcome{{}, report.error, report.digests};
        switch (report.outcome) {
            case CheckOutcome::Valid:
                outcome.detail = FailureDetail{};
                return outcome;
            case CheckOutcome::NotValid:
                outcome.message = std::string(kFormatErrorText);
                return outcome;
            case CheckOutcome::UnexpectedDigest:
                outcome.message = std::string(kUnexpectedDigestText);
                return outcome;
            case CheckOutcome::CannotOpen:
                break;
        }
        const bool companion =
            !report.companionPath.empty() && report.error.object == report.companionPath;
        outcome.message = resultMessageText(companion ? ResultCode::CantOpenCompanionFile
                                                      : ResultCode::CantOpenFile);
        return outcome;
    }

    platform::Platform& platform_;
    const std::optional<platform::Sha256Digest> expected_;
    std::map<std::pair<std::string, int>, Outcome> outcomes_;
};

}  // namespace

std::string fleetTargetName(const UploadSettings& settings) {
    return link::targetName(settings);
}

std::string fleetListName(const std::string& path) {
    return path == "-" ? "standard input" : path;
}

Result<std::string> readFleetListText(platform::FileSystem& files, const std::string& path) {
    FailureDetail why = objectFailure(fleetListName(path), "");
    const std::unique_ptr<platform::ReadableFile> file = files.openTextStream(path, &why);
    if (!file) {
        if (why.reason.empty()) {
            why.reason = "the list cannot be opened";
        }
        return why;
    }
    std::string text;
    std::array<std::uint8_t, 4096> chunk{};
    for (;;) {
        const std::int64_t count = file->read(chunk);
        if (count < 0) {
            why.reason = "the list cannot be read";
            return why;
        }
        if (count == 0) {
            return text;
        }
        text.append(reinterpret_cast<const char*>(chunk.data()), static_cast<std::size_t>(count));
        if (text.size() > kMaxFleetListBytes) {
            why.reason = "the list is longer than " +
                         std::to_string(kMaxFleetListBytes / (1024 * 1024)) + " MiB";
            return why;
        }
    }
}

FleetList parseFleetList(std::string_view listText, platform::Platform& platform,
                         const std::optional<platform::Sha256Digest>& expected) {
    FleetList list;
    // A byte-order mark that an editor put at the start is not part of the first line.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (listText.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        listText.remove_prefix(kByteOrderMark.size());
    }
    ProgramChecker programs(platform, expected);
    std::map<std::string, int> terminals;  // terminal key -> the first line naming it
    int lineNumber = 0;
    std::size_t start = 0;
    while (start < listText.size()) {
        std::size_t end = listText.find('\n', start);
        if (end == std::string_view::npos) {
            end = listText.size();
        }
        std::string_view line = listText.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::string_view text = trimmed(line, kBlanks);
        if (text.empty() || text.front() == '#') {
            continue;
        }
        const auto refuse = [&](std::string message, FailureDetail detail = {}) {
            list.errors.push_back(
                {lineNumber, std::string(text), std::move(message), std::move(detail)});
        };

        FleetTarget target{lineNumber, std::string(text), {}};
        presetUploadSettings(target.settings);
        // A NUL would end the path before the file the line names.
        const int error = text.find('\0') != std::string_view::npos
                              ? kWrongFormat
                              : parseCommandLineFields(text, target.settings);
        if (error != kCommandLineOk) {
            refuse(std::string(commandLineErrorText(error)));
            continue;
        }
        if (target.settings.executionMode != Automatic) {
            refuse(std::string(commandLineErrorText(kWrongExecutionMode)),
                   unusable("", "a fleet uploads without the settings form: MODE must be 1"));
            continue;
        }
        const ProgramChecker::Outcome& program = programs.check(target.settings);
        if (!program.message.empty()) {
            refuse(program.message, program.detail);
            continue;
        }
        target.digests = program.digests;
        // The terminal a line reaches, as two lines naming one terminal share it.
        const Result<std::string> key = link::terminalKey(target.settings, platform);
        if (!key) {
            refuse(resultMessageText(ResultCode::InvalidIpAddress), key.failure());
            continue;
        }
        const auto [first, added] = terminals.emplace(key.value(), lineNumber);
        if (!added) {
            refuse(std::string(kDuplicateTarget),
                   unusable(link::terminalName(target.settings, platform),
                            "line " + std::to_string(first->second) + " names the same terminal"));
            continue;
        }
        list.targets.push_back(std::move(target));
    }
    if (list.targets.empty() && list.errors.empty()) {
        list.errors.push_back(
            {0, "", std::string(kEmptyList), unusable("", "every line is blank or a comment")});
    }
    return list;
}

}  // namespace vorlanth::shell
