// vorlanth-cli --check: the report on a program file, as text or one JSON line, and its exit code.
#pragma once

#include <cstdio>
#include <string_view>

#include "platform/files.h"
#include "shell/program_check.h"

namespace vorlanth::ui::console {

// The text --check prints for a report on a program file.
std::string formatCheckReport(const shell::ProgramReport& report);
// The same as one JSON object (one line).
std::string formatCheckReportJson(const shell::ProgramReport& report, int exitCode);

// vorlanth-cli --check PATH[,FILETYPE]: checks the program file without any link and prints
// the report on out (JSON when json), the error on err. Returns the exit code: 0 the file
// would upload, 2 usage error, 3 the file or its companion cannot be opened, 5 not valid.
int runCheck(std::string_view argument, bool json, platform::FileSystem& files, std::FILE* out,
             std::FILE* err);

}  // namespace vorlanth::ui::console
