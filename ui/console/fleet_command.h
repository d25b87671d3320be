// vorlanth-cli --fleet: its options, the summary table and the closing JSON event.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/failure_detail.h"
#include "platform/platform.h"
#include "shell/program_digest.h"

namespace vorlanth::ui::console {

// What vorlanth-cli --fleet was asked to do.
struct FleetOptions {
    std::string listPath;  // "-": standard input
    std::size_t jobs = 0;  // uploads at once; 0: every target at once
    int retries = 2;       // retries of a failed target, each with a fresh link
    bool json = false;
    // The SHA-256 every target's program must have.
    std::optional<platform::Sha256Digest> expectedSha256{};
};

// One target's line of the summary.
struct FleetRow {
    int line = 0;
    std::string text;     // the list line
    std::string name;     // "#3 COM3"
    std::string outcome;  // "uploaded", "failed", "not valid", "no link", "no file", "stopped", ...
    int exitCode = 0;
    std::uint64_t bytes = 0;
    std::uint32_t elapsedMs = 0;
    int attempts = 0;
    std::string message;  // the last message that says how it ended
    FailureDetail detail;
    shell::ProgramDigests digests{};  // the SHA-256 of the program sent (or to be sent)
};

// The summary table: target, outcome, bytes, time, attempts, last message (with its detail),
// and a last line with the counts and the targets that failed.
std::string formatFleetSummary(const std::vector<FleetRow>& rows, int stopSignal);

// The members of the closing "fleet" event: exit code, counts, and every target's row.
std::string fleetEventMembers(const std::vector<FleetRow>& rows, int exitCode);

// vorlanth-cli --fleet: has the shell read the list (a file, or standard input for "-") and
// check every line with platform, and, only when every line is good, upload to every target at
// once, each on a platform of its own from makePlatform. Output goes to out (the summary; JSON
// with --json) and error (progress, list errors; the summary with --json). terminalRows: the
// lines of the terminal on error that takes cursor movements, 0 for none; the targets' lines are
// redrawn in place when they all fit on it. Returns the exit code the shell's fleet decided (0
// every target uploaded, 1 one or more failed, 2 the list is not good, or the code of a stop).
int runFleetCommand(const FleetOptions& options, platform::Platform& platform,
                    const std::function<std::unique_ptr<platform::Platform>()>& makePlatform,
                    std::FILE* out, std::FILE* error, int terminalRows);

// vorlanth-cli --check-fleet: has the shell read and check the list as runFleetCommand does
// before it uploads, and says what each target would get; no link is opened and nothing is
// sent. A bad line is said as --fleet says it. Returns 0 when every line is good, 2 when the
// list is not, or the code of a stop while the list was read.
int runFleetCheck(const FleetOptions& options, platform::Platform& platform, std::FILE* out,
                  std::FILE* error);

}  // namespace vorlanth::ui::console
