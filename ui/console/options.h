// The console loader's command-line options (--trace, --json, --check, --fleet, --jobs, ...)
// and the argument text that follows them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/digest.h"

namespace vorlanth::ui::console {

struct CliOptions {
    bool help = false;
    bool version = false;
    bool trace = false;
    bool json = false;
    bool listPorts = false;
    // --check PATH[,FILETYPE]: the program file to check without any link.
    std::optional<std::string> check;
    // --fleet FILE: the list of targets to upload to at once ("-": standard input).
    std::optional<std::string> fleet;
    // --check-fleet FILE: the list to check as --fleet does before it uploads, sending nothing.
    std::optional<std::string> checkFleet;
    std::size_t jobs = 0;  // --jobs N: uploads at once in a fleet; 0 for all
    int retries = 2;       // --retries N: retries of a failed fleet target
    // --expect-sha256 HEX: the SHA-256 every program file of the run must have.
    std::optional<platform::Sha256Digest> expectedSha256{};
    // The six-field argument text: the arguments after the options, joined by single blanks.
    std::string argumentText;
    // Set when an option was not understood.
    std::string error;
};

// Splits the program's arguments into options and the argument text. Options come first;
// an argument that starts with "--" is an option, and "--" alone ends the options.
CliOptions parseCliOptions(const std::vector<std::string>& arguments);

// The text --help prints (kept in step with docs/vorlanth-cli.1).
const char* usageText();

}  // namespace vorlanth::ui::console
