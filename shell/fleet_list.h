// The fleet list: its targets (one command-line argument text a line), the lines it refuses,
// and reading its text from a file, a pipe or standard input.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/failure_detail.h"
#include "common/result.h"
#include "common/types.h"
#include "platform/platform.h"
#include "shell/program_digest.h"

namespace vorlanth::shell {

// One terminal of a fleet: the list line that names it and the settings that line gives.
struct FleetTarget {
    int line = 0;      // 1-based line number in the list
    std::string text;  // the line's argument text, without the blanks around it
    UploadSettings settings;
    // The SHA-256 of the line's program (and companion) as the list's check found them.
    ProgramDigests digests{};
};

// A line of the list that cannot be uploaded (line 0: the list as a whole), with the
// message a command line would show and why.
struct FleetListError {
    int line = 0;
    std::string text;
    std::string message;
    FailureDetail detail;
};

struct FleetList {
    std::vector<FleetTarget> targets;
    std::vector<FleetListError> errors;
};

// The longest fleet list read, in bytes.
inline constexpr std::size_t kMaxFleetListBytes = 1024 * 1024;

// The list's name in what is said of it: its path, or "standard input" for "-".
std::string fleetListName(const std::string& path);

// Reads the list's text whole from a regular file, a FIFO or a pipe, or standard input for
// "-"; the failure (which list, and why) when it cannot be opened or read, or is longer than
// kMaxFleetListBytes. A stop of the run while it waits for the text also fails it.
Result<std::string> readFleetListText(platform::FileSystem& files, const std::string& path);

// Reads a fleet list: one six-field argument text a line, as on the command line, with MODE 1;
// blank lines and lines whose first non-blank character is "#" are skipped, a CR before the
// line end is dropped, and so is a UTF-8 byte-order mark at the very start (an editor's). Every
// line is checked before anything is uploaded: its fields, its program file (decoded whole, without
// any link, and its SHA-256 the expected one when a digest is expected), its network address (a
// host name through the resolver; nothing is sent), and that no earlier line names the same
// terminal (the same serial device, or the same address and port). A list without any target is
// an error of its own.
FleetList parseFleetList(std::string_view listText, platform::Platform& platform,
                         const std::optional<platform::Sha256Digest>& expected = {});

// A short name of a target's terminal: "COM3" or "address:port".
std::string fleetTargetName(const UploadSettings& settings);

}  // namespace vorlanth::shell
