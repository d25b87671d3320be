#include "ui/console/fleet_command.h"

#include <algorithm>
#include <optional>

#include "common/json_writer.h"
#include "common/text.h"
#include "platform/stop_request.h"
#include "shell/fleet.h"
#include "shell/result_messages.h"
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

// Says every bad line of the list, and the closing event with --json; the run ends with 2.
int reportListErrors(const shell::FleetList& list, const FleetOptions& options, std::FILE* out,
                     std::FILE* error) {
    const std::string listName = options.listPath == "-" ? "standard input" : options.listPath;
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
            MessageBoxRequest request;
            request.text = bad.message;
            request.detail = bad.detail;
            JsonEventWriter(out, targetMember(bad.line, bad.text)).message(request, Answer::Ok);
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
        members.key("exitCode").number(exit_code::kCommandLineError);
        members.key("targets").number(list.targets.size()).key("badLines").number(badLines);
        JsonEventWriter(out).fleet(members.text());
    }
    return exit_code::kCommandLineError;
}

// The word of a target's outcome in the summary.
std::string outcomeWord(const shell::FleetOutcome& outcome, bool succeeded, bool stopped) {
    if (!outcome.started) {
        return "not started";
    }
    if (succeeded) {
        return "uploaded";
    }
    if (stopped) {
        return "stopped";
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

// The message that says how a target ended: the last one shown that was no question (the
// success, a format error, a link that did not open); else the message of the code the last
// attempt ended with; else the retry question. The detail is the session's last failure, or
// the one that came with the message.
void chooseLastMessage(FleetRow& row, const shell::FleetOutcome& outcome,
                       const FleetTargetFrontEnd& frontEnd) {
    const auto codeMessage = findResultMessage(outcome.lastResult);
    if (!frontEnd.lastMessage().empty()) {
        row.message = frontEnd.lastMessage();
        row.detail = frontEnd.lastDetail();
    } else if (outcome.attempts > 0 && outcome.lastResult < 0 && codeMessage) {
        row.message = std::string(codeMessage->text);
    } else {
        row.message = frontEnd.lastQuestion();
        row.detail = frontEnd.lastQuestionDetail();
    }
    if (!outcome.failure.empty()) {
        row.detail = outcome.failure;
    }
}

// The console's side of a fleet run: a front end per target, the display, the summary rows.
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
            frontEnds_.push_back(std::make_unique<FleetTargetFrontEnd>(display, i, options.retries,
                                                                       std::move(json)));
            FleetRow row;
            row.line = targets[i].line;
            row.text = targets[i].text;
            row.name = nameOf(targets[i]);
            rows_.push_back(std::move(row));
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
            json->start(session.settings);
        }
        display_.phase(index, FleetPhase::Opening);
    }

    // Fills the target's summary row and shows how it ended; a run stopped by the user ends
    // every target that has not uploaded as stopped.
    void targetEnded(std::size_t index, const shell::FleetOutcome& outcome) override {
        FleetTargetFrontEnd& frontEnd = *frontEnds_[index];
        FleetRow& row = rows_[index];
        const int stop = stopSignal();
        const bool succeeded = outcome.started && outcome.exitCode == exit_code::kSuccess &&
                               outcome.attempts > 0 && outcome.lastResult > 0;
        row.outcome = outcomeWord(outcome, succeeded, stop != 0);
        row.exitCode = outcome.started ? outcome.exitCode : exit_code::kUploadFailed;
        if (!succeeded && stop != 0) {
            row.exitCode = exit_code::kStoppedBySignal + stop;
        }
        row.bytes = frontEnd.bytesSent();
        row.elapsedMs = outcome.elapsedMs;
        row.attempts = outcome.attempts;
        if (outcome.started) {
            chooseLastMessage(row, outcome, frontEnd);
        }
        if (!succeeded && stop != 0) {
            // The stop, not whatever the interrupted wait left, is how it ended.
            row.message = "stopped by " + std::string(platform::stopSignalName(stop));
            row.detail = FailureDetail{};
        }
        JsonEventWriter* json = frontEnd.json();
        if (json != nullptr && outcome.started) {
            json->result(row.exitCode);
        }
        const FleetPhase phase = succeeded   ? FleetPhase::Uploaded
                                 : stop != 0 ? FleetPhase::Stopped
                                             : FleetPhase::Failed;
        display_.phase(index, phase,
                       phase == FleetPhase::Failed ? messageWithDetail(row.message, row.detail)
                                                   : std::string());
    }

    bool stopRequested() override { return stopSignal() != 0; }

    // The signal by which the user asked the run to stop, or 0.
    int stopSignal() { return platform_.stopRequested(); }

    const std::vector<FleetRow>& rows() const { return rows_; }

  private:
    const std::vector<shell::FleetTarget>& targets_;
    FleetDisplay& display_;
    platform::Platform& platform_;
    const std::function<std::unique_ptr<platform::Platform>()>& makePlatform_;
    std::vector<std::unique_ptr<FleetTargetFrontEnd>> frontEnds_;
    std::vector<FleetRow> rows_;
};

// Pads text with blanks to width.
std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) {
        text.append(width - text.size(), ' ');
    }
    return text;
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
        json.endObject();
    }
    json.endArray();
    return json.text();
}

int runFleetCommand(const FleetOptions& options, platform::Platform& platform,
                    const std::function<std::unique_ptr<platform::Platform>()>& makePlatform,
                    std::FILE* out, std::FILE* error, int terminalRows) {
    FailureDetail why;
    const std::optional<std::string> text =
        shell::readFleetListText(platform.files(), options.listPath, why);
    shell::FleetList list;
    if (!text && platform.stopRequested() != 0) {
        // A stop while the list was read (from a terminal, say) is a stop, not a bad list.
        return exit_code::kStoppedBySignal + platform.stopRequested();
    }
    if (!text) {
        list.errors.push_back(
            {0, "", std::string(findResultMessage(result::kCantOpenFile)->text), why});
    } else {
        list = shell::parseFleetList(*text, platform);
    }
    if (!list.errors.empty()) {
        return reportListErrors(list, options, out, error);
    }

    std::vector<std::string> names;
    for (const shell::FleetTarget& target : list.targets) {
        names.push_back(ConsoleFleetHost::nameOf(target));
    }
    // Lines that scrolled off the screen cannot be redrawn: a longer fleet gets plain lines.
    const bool live = terminalRows > 0 && static_cast<std::size_t>(terminalRows) > names.size();
    FleetDisplay display(error, options.json ? out : nullptr, live, platform.clock(),
                         std::move(names));
    ConsoleFleetHost host(list.targets, options, display, platform, makePlatform);
    display.start();
    shell::runFleet(list.targets, options.jobs, host);
    display.finish();

    const int stop = host.stopSignal();
    const bool allUploaded = std::all_of(host.rows().begin(), host.rows().end(),
                                         [](const FleetRow& row) { return row.exitCode == 0; });
    const int exitCode = stop != 0     ? exit_code::kStoppedBySignal + stop
                         : allUploaded ? exit_code::kSuccess
                                       : exit_code::kUploadFailed;
    if (stop != 0) {
        const std::string_view name = platform::stopSignalName(stop);
        std::fprintf(error, "vorlanth: stopped by %.*s\n", static_cast<int>(name.size()),
                     name.data());
        if (options.json) {
            JsonEventWriter(out).stopped(name);
        }
    }
    const std::string summary = formatFleetSummary(host.rows(), stop);
    std::FILE* summaryStream = options.json ? error : out;
    std::fputs(summary.c_str(), summaryStream);
    std::fflush(summaryStream);
    if (options.json) {
        JsonEventWriter(out).fleet(fleetEventMembers(host.rows(), exitCode));
    }
    return exitCode;
}

}  // namespace vorlanth::ui::console
