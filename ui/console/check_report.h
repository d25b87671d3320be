// vorlanth-cli --check: the report on a program file, as text or one JSON line, and its exit code.
#pragma once

#include <cstdio>
#include <optional>
#include <string_view>

#include "platform/platform.h"
#include "shell/program_check.h"

namespace vorlanth::ui::console {

// The text --check prints for a report on a program file.
std::string formatCheckReport(const shell::ProgramReport& report);
// The same as one JSON object (one line).
std::string formatCheckReportJson(const shell::ProgramReport& report, int exitCode);

// How --check reports: as JSON or text, and the SHA-256 the program must have, if any.
struct CheckOptions {
    bool json = false;
    std::optional<platform::Sha256Digest> expectedSha256{};
};

// vorlanth-cli --check PATH[,FILETYPE]: checks the program file without any link and prints
// the report on out (JSON when json), the error on err. Returns the exit code: 0 the file
// would upload, 2 usage error, 3 the file or its companion cannot be opened, 5 not valid or
// not the expected SHA-256.
int runCheck(std::string_view argument, const CheckOptions& options, platform::Platform& platform,
             std::FILE* out, std::FILE* err);

}  // namespace vorlanth::ui::console
