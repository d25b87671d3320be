// vorlanth-cli --check: what the loader would make of a program file, as text or as one JSON
// object, without any link.
#include "ui/console/check_report.h"

#include <algorithm>
#include <cctype>
#include <span>
#include <string>

#include "common/hex_text.h"
#include "common/json_writer.h"
#include "common/text.h"
#include "readers/file_types.h"
#include "shell/session.h"
#include "ui/console/json_events.h"

namespace vorlanth::ui::console {

namespace {

// At most this many ranges are listed in the text; JSON lists them all.
constexpr std::size_t kRangesShown = 16;

int exitCodeOf(const shell::ProgramReport& report) {
    switch (report.outcome) {
        case shell::CheckOutcome::Valid:
            return exit_code::kSuccess;
        case shell::CheckOutcome::NotValid:
        case shell::CheckOutcome::UnexpectedDigest:
            return exit_code::kFileNotValid;
        case shell::CheckOutcome::CannotOpen:
            break;
    }
    return exit_code::kFileOpenFailed;
}

// Every file type as "0 (S-record), 1 (BASIC) or 2 (binary image)", each number led by
// prefix.
std::string fileTypeChoices(std::string_view prefix) {
    const std::span<const readers::FileTypeRow> rows = readers::fileTypes();
    std::string text;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        text.append(i == 0 ? "" : (i + 1 == rows.size() ? " or " : ", "))
            .append(prefix)
            .append(std::to_string(rows[i].number))
            .append(" (")
            .append(rows[i].shortName)
            .append(")");
    }
    return text;
}

// PATH or PATH,FILETYPE: a last field of digits is the file type, anything else belongs to
// the path (paths may hold commas). Nothing for the type when the extension must tell.
bool splitArgument(std::string_view argument, std::string& path, std::optional<int>& fileType,
                   std::string& error) {
    path = std::string(argument);
    const std::size_t comma = argument.find_last_of(',');
    if (comma != std::string_view::npos) {
        const std::string_view field = argument.substr(comma + 1);
        if (!field.empty() && std::all_of(field.begin(), field.end(),
                                          [](unsigned char c) { return std::isdigit(c) != 0; })) {
            const readers::FileTypeRow* row =
                field.size() == 1 ? readers::findFileType(field[0] - '0') : nullptr;
            if (row == nullptr) {
                error = "FILETYPE must be " + fileTypeChoices("");
                return false;
            }
            fileType = row->number;
            path = std::string(argument.substr(0, comma));
        }
    }
    if (path.empty()) {
        error = "--check needs a program file";
        return false;
    }
    if (!fileType) {
        fileType = readers::fileTypeFromExtension(path);
        if (!fileType) {
            error = "cannot tell the file type from the name " + path + "; give it as " +
                    fileTypeChoices("PATH,");
            return false;
        }
    }
    return true;
}

}  // namespace

std::string formatCheckReport(const shell::ProgramReport& report) {
    if (report.outcome == shell::CheckOutcome::CannotOpen) {
        return "";
    }
    const readers::FileTypeRow& type = readers::fileTypeBehaviour(report.fileType);
    std::string text = report.path + ": " + std::string(type.title) + ", " +
                       std::to_string(report.fileSize) + " bytes";
    if (!report.companionPath.empty()) {
        text += ", companion " + report.companionPath;
    }
    text += "\n";
    if (report.digests.program) {
        text += "  sha256 " + platform::sha256Hex(*report.digests.program) + "\n";
    }
    if (report.digests.companion) {
        text += "  companion sha256 " + platform::sha256Hex(*report.digests.companion) + "\n";
    }
    if (report.outcome != shell::CheckOutcome::Valid) {
        return text;
    }
    const std::uint64_t pieces =
        type.pieces == readers::PieceKind::Record ? report.records : report.blocks;
    text += "  sends " + std::to_string(pieces) + " " + std::string(type.pieceName) + " with " +
            std::to_string(report.dataBytes) + " " + std::string(type.dataName) + ", then " +
            std::string(type.endName) + "\n";
    for (std::size_t i = 0; i < report.ranges.size() && i < kRangesShown; ++i) {
        const shell::AddressRange& range = report.ranges[i];
        text += "  " + hexAddress(range.first) + "-" + hexAddress(range.end - 1) + "  " +
                std::to_string(range.end - range.first) + " bytes\n";
    }
    if (report.ranges.size() > kRangesShown) {
        text +=
            "  ... and " + std::to_string(report.ranges.size() - kRangesShown) + " more ranges\n";
    }
    text += "  line time without erase:";
    for (std::size_t i = 0; i < kBaudRates.size(); ++i) {
        text += (i == 0 ? " " : ", ") + std::to_string(kBaudRates[i]) + " bit/s " +
                secondsText(shell::lineSeconds(report, kBaudRates[i]), SecondsStyle::WholeFromTen);
    }
    text += "\n";
    for (const std::string& warning : report.warnings) {
        text += "  warning: " + warning + "\n";
    }
    return text;
}

std::string formatCheckReportJson(const shell::ProgramReport& report, int exitCode) {
    JsonWriter json;
    json.beginObject().key("event").string("check").textMember("file", report.path);
    json.key("fileType").string(readers::fileTypeBehaviour(report.fileType).jsonName);
    if (!report.companionPath.empty()) {
        json.textMember("companion", report.companionPath);
    }
    json.key("size").number(report.fileSize);
    writeDigests(json, report.digests);
    if (report.expectedSha256) {
        json.key("expected_sha256").string(platform::sha256Hex(*report.expectedSha256));
    }
    json.key("valid").boolean(report.outcome == shell::CheckOutcome::Valid);
    json.key("exitCode").number(exitCode);
    if (report.outcome != shell::CheckOutcome::Valid) {
        json.key("error").beginObject();
        json.key("detail").string(describeFailure(report.error));
        json.key("reason").string(report.error.reason);
        if (report.error.line > 0) {
            json.key("line").number(report.error.line).key("column").number(report.error.column);
        }
        if (report.error.offset >= 0) {
            json.key("offset").number(report.error.offset);
        }
        return json.endObject().endObject().text();
    }
    json.key("records").number(report.records);
    json.key("blocks").number(report.blocks);
    json.key("dataBytes").number(report.dataBytes);
    json.key("ranges").beginArray();
    for (const shell::AddressRange& range : report.ranges) {
        json.beginObject();
        json.key("first").string(hexAddress(range.first));
        json.key("last").string(hexAddress(range.end - 1));
        json.key("bytes").number(range.end - range.first);
        json.endObject();
    }
    json.endArray();
    json.key("warnings").beginArray();
    for (const std::string& warning : report.warnings) {
        json.string(warning);
    }
    json.endArray();
    json.key("lineSeconds").beginObject();
    for (const std::uint32_t rate : kBaudRates) {
        json.key(std::to_string(rate)).fixed(shell::lineSeconds(report, rate), 3);
    }
    return json.endObject().endObject().text();
}

int runCheck(std::string_view argument, const CheckOptions& options, platform::Platform& platform,
             std::FILE* out, std::FILE* err) {
    const bool json = options.json;
    std::string path;
    std::optional<int> fileType;
    std::string error;
    if (!splitArgument(argument, path, fileType, error)) {
        std::fprintf(err, "vorlanth: %s\n", error.c_str());
        if (json) {
            JsonEventWriter(out).usageError(error);
        }
        return exit_code::kCommandLineError;
    }
    const shell::ProgramReport report =
        shell::checkProgramFile(platform, path, *fileType, options.expectedSha256);
    const int exitCode = exitCodeOf(report);
    if (json) {
        std::fprintf(out, "%s\n", formatCheckReportJson(report, exitCode).c_str());
    } else {
        std::fputs(formatCheckReport(report).c_str(), out);
    }
    std::fflush(out);
    if (!json && report.outcome != shell::CheckOutcome::Valid) {
        std::fprintf(err, "vorlanth: %s\n", describeFailure(report.error).c_str());
    } else if (!json) {
        std::fprintf(out, "%s would upload\n", report.path.c_str());
        std::fflush(out);
    }
    return exitCode;
}

}  // namespace vorlanth::ui::console
