// vorlanth-cli --fleet on the console: the list's errors, the targets' live lines, the summary
// table and the JSON events, drawn from what the shell's fleet decides.
#include "ui/console/fleet_command.h"

#include <algorithm>
#include <optional>

#include "common/json_writer.h"
#include "common/text.h"
#include "platform/stop_request.h"
#include "shell/fleet.h"
#include "shell/fleet_list.h"
#include "shell/session.h"
#include "ui/console/fleet_display.h"
#include "ui/console/fleet_front_end.h"
#include "ui/console/json_events.h"
#include "ui/console/progress_line.h"

namespace vorlanth::ui::console {

namespace {

// "MESSAGE (DETAIL)", or the message alone.
std::string messageWithDetail(const std::string& message, const FailureDetail& detail) {
    if (detail.empty()) {
        return message;
    }
    const std::string why = describeFailure(detail);
    return message.empty() ? why : message + " (" + why + ")";
}

// Says every bad line of the list, and the closing event with --json.
void reportListErrors(const shell::FleetListLoad& loaded, const FleetOptions& options,
                      std::FILE* out, std::FILE* error) {
    const shell::FleetList& list = loaded.list;
    const std::string listName = shell::fleetListName(options.listPath);
    for (const shell::FleetListError& bad : list.errors) {
        const std::string where =
            bad.line > 0 ? listName + ":" + std::to_string(bad.line) : listName;
        if (bad.text.empty()) {
            std::fprintf(error, "vorlanth: %s: %s\n", where.c_str(), bad.message.c_str());
        } else {
            std::fprintf(error, "vorlanth: %s: %s: %s\n", where.c_str(), bad.text.c_str(),
                         bad.message.c_str());
        }
        if (!bad.detail.empty()) {
            // A detail that names its object (the list itself) needs no place before it.
            const std::string why = describeFailure(bad.detail);
            if (bad.line == 0 && !bad.detail.object.empty()) {
                std::fprintf(error, "vorlanth: %s\n", why.c_str());
            } else {
                std::fprintf(error, "vorlanth: %s: %s\n", where.c_str(), why.c_str());
            }
        }
        if (options.json) {
            JsonEventWriter(out, targetMember(bad.line, bad.text)).message(bad.message, bad.detail);
        }
    }
    const auto badLines = static_cast<std::size_t>(
        std::count_if(list.errors.begin(), list.errors.end(),
                      [](const shell::FleetListError& bad) { return bad.line > 0; }));
    if (badLines > 0) {
        std::fprintf(error, "vorlanth: %s: %zu bad line%s, nothing was uploaded\n",
                     listName.c_str(), badLines, badLines == 1 ? "" : "s");
    } else {
        std::fprintf(error, "vorlanth: %s: nothing was uploaded\n", listName.c_str());
    }
    std::fflush(error);
    if (options.json) {
        JsonWriter members = JsonWriter::membersOnly();
        members.key("exitCode").number(loaded.exitCode);
        members.key("targets").number(list.targets.size()).key("badLines").number(badLines);
        JsonEventWriter(out).fleet(members.text());
    }
}

// The word of a target's outcome in the summary.
std::string outcomeWord(const shell::FleetOutcome& outcome) {
    switch (outcome.result) {
        case shell::FleetResult::NotStarted:
            return "not started";
        case shell::FleetResult::Uploaded:
            return "uploaded";
        case shell::FleetResult::Stopped:
            return "stopped";
        case shell::FleetResult::Failed:
            break;
    }
    switch (outcome.exitCode) {
        case exit_code::kFileOpenFailed:
            return "no file";
        case exit_code::kLinkOpenFailed:
            return "no link";
        case exit_code::kFileNotValid:
            return "not valid";
        default:
            return "failed";
    }
}

// The console's side of a fleet run: a front end per target, the display, the stop signal.
class ConsoleFleetHost final : public shell::FleetHost {
  public:
    ConsoleFleetHost(const std::vector<shell::FleetTarget>& targets, const FleetOptions& options,
                     FleetDisplay& display, platform::Platform& platform,
                     const std::function<std::unique_ptr<platform::Platform>()>& makePlatform)
        : targets_(targets), display_(display), platform_(platform), makePlatform_(makePlatform) {
        for (std::size_t i = 0; i < targets.size(); ++i) {
            std::unique_ptr<JsonEventWriter> json;
            if (options.json) {
                json = std::make_unique<JsonEventWriter>(
                    display, targetMember(targets[i].line, targets[i].text));
            }
            frontEnds_.push_back(
                std::make_unique<FleetTargetFrontEnd>(display, i, std::move(json)));
        }
    }

    // Built by appending: GCC 12 misreads "#" + std::to_string(n) as an overlapping copy.
    static std::string nameOf(const shell::FleetTarget& target) {
        return std::string("#")
            .append(std::to_string(target.line))
            .append(" ")
            .append(shell::fleetTargetName(target.settings));
    }

    std::unique_ptr<platform::Platform> makePlatform() override { return makePlatform_(); }
    FrontEnd& frontEndOf(std::size_t index) override { return *frontEnds_[index]; }

    void targetStarted(std::size_t index, const Session& session) override {
        if (JsonEventWriter* json = frontEnds_[index]->json()) {
            json->start(session.settings, targets_[index].digests);
        }
        display_.phase(index, FleetPhase::Opening);
    }

    // Shows how the target ended: its result event, and its last phase with the message of a
    // failure.
    void targetEnded(std::size_t index, const shell::FleetOutcome& outcome) override {
        JsonEventWriter* json = frontEnds_[index]->json();
        if (json != nullptr && outcome.result != shell::FleetResult::NotStarted) {
            json->result(outcome.exitCode);
        }
        switch (outcome.result) {
            case shell::FleetResult::Uploaded:
                display_.phase(index, FleetPhase::Uploaded);
                break;
            case shell::FleetResult::Failed:
                display_.phase(index, FleetPhase::Failed,
                               messageWithDetail(outcome.message, outcome.detail));
                break;
            case shell::FleetResult::Stopped:
            case shell::FleetResult::NotStarted:
                display_.phase(index, FleetPhase::Stopped);
                break;
        }
    }

    int stopSignal() override { return platform_.stopRequested(); }

  private:
    const std::vector<shell::FleetTarget>& targets_;
    FleetDisplay& display_;
    platform::Platform& platform_;
    const std::function<std::unique_ptr<platform::Platform>()>& makePlatform_;
    std::vector<std::unique_ptr<FleetTargetFrontEnd>> frontEnds_;
};

// The summary's rows: each target's list line and name beside its outcome.
std::vector<FleetRow> summaryRows(const std::vector<shell::FleetTarget>& targets,
                                  const std::vector<shell::FleetOutcome>& outcomes) {
    std::vector<FleetRow> rows;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const shell::FleetOutcome& outcome = outcomes[i];
        rows.push_back({.line = targets[i].line,
                        .text = targets[i].text,
                        .name = ConsoleFleetHost::nameOf(targets[i]),
                        .outcome = outcomeWord(outcome),
                        .exitCode = outcome.exitCode,
                        .bytes = outcome.bytesSent,
                        .elapsedMs = outcome.elapsedMs,
                        .attempts = outcome.attempts,
                        .message = outcome.message,
                        .detail = outcome.detail,
                        .digests = outcome.digests});
    }
    return rows;
}

// Pads text with blanks to width.
std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) {
        text.append(width - text.size(), ' ');
    }
    return text;
}

// Whether the run goes on with the loaded list: not after a stop while it was read, nor when a
// line or the list was refused (said here).
bool listGood(const shell::FleetListLoad& loaded, const FleetOptions& options, std::FILE* out,
              std::FILE* error) {
    if (loaded.stopSignal != 0) {
        return false;
    }
    if (!loaded.list.errors.empty()) {
        reportListErrors(loaded, options, out, error);
        return false;
    }
    return true;
}

}  // namespace

std::string formatFleetSummary(const std::vector<FleetRow>& rows, int stopSignal) {
    std::vector<std::vector<std::string>> cells = {
        {"target", "outcome", "bytes", "time", "attempts", "last message"}};
    std::size_t uploaded = 0;
    std::string failed;
    for (const FleetRow& row : rows) {
        cells.push_back({row.name, row.outcome, formatBytes(row.bytes),
                         secondsText(row.elapsedMs / 1000.0), std::to_string(row.attempts),
                         messageWithDetail(row.message, row.detail)});
        if (row.exitCode == exit_code::kSuccess) {
            ++uploaded;
        } else {
            failed.append(failed.empty() ? "#" : ", #").append(std::to_string(row.line));
        }
    }
    std::vector<std::size_t> widths(cells.front().size(), 0);
    for (const auto& line : cells) {
        for (std::size_t column = 0; column + 1 < line.size(); ++column) {
            widths[column] = std::max(widths[column], line[column].size());
        }
    }
    std::string table;
    for (const auto& line : cells) {
        std::string text;
        for (std::size_t column = 0; column < line.size(); ++column) {
            text +=
                column + 1 < line.size() ? padded(line[column], widths[column] + 2) : line[column];
        }
        while (!text.empty() && text.back() == ' ') {
            text.pop_back();
        }
        table += text + "\n";
    }
    table += std::to_string(uploaded) + " of " + std::to_string(rows.size()) + " uploaded";
    if (!failed.empty()) {
        table += ", " + std::to_string(rows.size() - uploaded) + " not: " + failed;
    }
    if (stopSignal != 0) {
        table.append(" (stopped by ").append(platform::stopSignalName(stopSignal)).append(")");
    }
    return table + "\n";
}

std::string fleetEventMembers(const std::vector<FleetRow>& rows, int exitCode) {
    const auto uploaded =
        static_cast<std::size_t>(std::count_if(rows.begin(), rows.end(), [](const FleetRow& row) {
            return row.exitCode == exit_code::kSuccess;
        }));
    JsonWriter json = JsonWriter::membersOnly();
    json.key("exitCode").number(exitCode);
    json.key("targets").number(rows.size());
    json.key("succeeded").number(uploaded);
    json.key("failed").number(rows.size() - uploaded);
    json.key("results").beginArray();
    for (const FleetRow& row : rows) {
        json.beginObject();
        json.key("line").number(row.line).key("text").string(row.text);
        json.key("outcome").string(row.outcome).key("exitCode").number(row.exitCode);
        json.key("bytes").number(row.bytes).key("seconds").fixed(row.elapsedMs / 1000.0, 3);
        json.key("attempts").number(row.attempts).key("message").string(row.message);
        writeDetail(json, row.detail);
        writeDigests(json, row.digests);
        json.endObject();
    }
    json.endArray();
    return json.text();
}

// Each target's line: its name, its list line and the digest of its program; the closing event
// with every target's row, each "would upload".
int runFleetCheck(const FleetOptions& options, platform::Platform& platform, std::FILE* out,
                  std::FILE* error) {
    const shell::FleetListLoad loaded =
        shell::loadFleetList(platform, options.listPath, options.expectedSha256);
    if (!listGood(loaded, options, out, error)) {
        return loaded.exitCode;
    }
    const std::vector<shell::FleetTarget>& targets = loaded.list.targets;
    JsonWriter members = JsonWriter::membersOnly();
    members.key("exitCode").number(exit_code::kSuccess);
    members.key("targets").number(targets.size()).key("badLines").number(0);
    members.key("results").beginArray();
    std::FILE* lines = options.json ? error : out;
    for (const shell::FleetTarget& target : targets) {
        std::string line = ConsoleFleetHost::nameOf(target) + "  " + target.text + "  would upload";
        if (target.digests.program) {
            line += ", sha256 " + platform::sha256Hex(*target.digests.program);
        }
        std::fprintf(lines, "%s\n", line.c_str());
        members.beginObject().key("line").number(target.line).key("text").string(target.text);
        members.key("outcome").string("would upload");
        writeDigests(members, target.digests);
        members.endObject();
    }
    members.endArray();
    const std::string listName = shell::fleetListName(options.listPath);
    std::fprintf(lines, "%s: %zu target%s, every line good; nothing was sent\n", listName.c_str(),
                 targets.size(), targets.size() == 1 ? "" : "s");
    std::fflush(lines);
    if (options.json) {
        JsonEventWriter(out).fleet(members.text());
    }
    return exit_code::kSuccess;
}

int runFleetCommand(const FleetOptions& options, platform::Platform& platform,
                    const std::function<std::unique_ptr<platform::Platform>()>& makePlatform,
                    std::FILE* out, std::FILE* error, int terminalRows) {
    const shell::FleetListLoad loaded =
        shell::loadFleetList(platform, options.listPath, options.expectedSha256);
    if (!listGood(loaded, options, out, error)) {
        return loaded.exitCode;
    }
    const std::vector<shell::FleetTarget>& targets = loaded.list.targets;

    std::vector<std::string> names;
    for (const shell::FleetTarget& target : targets) {
        names.push_back(ConsoleFleetHost::nameOf(target));
    }
    // Lines that scrolled off the screen cannot be redrawn: a longer fleet gets plain lines.
    const bool live = terminalRows > 0 && static_cast<std::size_t>(terminalRows) > names.size();
    FleetDisplay display(error, options.json ? out : nullptr, live, platform.clock(),
                         std::move(names));
    ConsoleFleetHost host(targets, options, display, platform, makePlatform);
    display.start();
    const shell::FleetRun run = shell::runFleet(targets,
                                                {.jobs = options.jobs,
                                                 .retries = options.retries,
                                                 .expectedSha256 = options.expectedSha256},
                                                host);
    display.finish();

    const std::vector<FleetRow> rows = summaryRows(targets, run.outcomes);
    if (run.stopSignal != 0) {
        const std::string_view name = platform::stopSignalName(run.stopSignal);
        std::fprintf(error, "vorlanth: stopped by %.*s\n", static_cast<int>(name.size()),
                     name.data());
        if (options.json) {
            JsonEventWriter(out).stopped(name);
        }
    }
    const std::string summary = formatFleetSummary(rows, run.stopSignal);
    std::FILE* summaryStream = options.json ? error : out;
    std::fputs(summary.c_str(), summaryStream);
    std::fflush(summaryStream);
    if (options.json) {
        JsonEventWriter(out).fleet(fleetEventMembers(rows, run.exitCode));
    }
    return run.exitCode;
}

}  // namespace vorlanth::ui::console
