// FailureDetail: why an operation failed (the object, the reason, the OS error, a line or offset),
// kept beside its result code so that the console and --json can say which and why.
#pragma once

#include <cstdint>
#include <string>

namespace vorlanth {

// What kind of thing went wrong, beyond the result code.
enum class FailureKind {
    None,
    FileFormat,        // the program file (or its companion) is not in its format
    UnexpectedDigest,  // the program file's SHA-256 is not the one the run expects
    System,            // the operating system refused or lost something (file, port, socket)
    Address,           // the network address names no terminal
    Usage,             // what the user gave cannot be used as it is (a fleet list's line, say)
};

// Which numbering an operating-system error code belongs to.
enum class OsErrorKind { None, Errno, Win32 };

// Why an operation failed, kept beside its result code so that a console or a script can say
// which object and why. Message boxes keep their fixed texts and never show it.
struct FailureDetail {
    FailureKind kind = FailureKind::None;
    std::string object;     // the file, device or address concerned; may be empty
    std::string reason;     // what was wrong, in plain words
    std::string osMessage;  // the operating system's own text for osError
    std::string hint;       // what the user can do about it; may be empty
    OsErrorKind osErrorKind = OsErrorKind::None;
    int osError = 0;
    std::int64_t line = 0;     // 1-based line in a text file; 0 when none
    std::int64_t column = 0;   // 1-based column in that line; 0 when none
    std::int64_t offset = -1;  // byte offset in a file; -1 when none

    bool empty() const { return kind == FailureKind::None && reason.empty(); }
};

// One line for a person: "object:line:column: reason (os text)", each part only when known.
std::string describeFailure(const FailureDetail& detail);

// The one way to make a failure's detail: its kind, the object and what went wrong in plain
// words. A failure the OS reported adds its error to this (platform's systemFailure); a place
// in a file is set on the detail made here.
FailureDetail objectFailure(std::string object, std::string reason,
                            FailureKind kind = FailureKind::System);

// Copies detail to why when the caller asked for it.
inline void tell(FailureDetail* why, FailureDetail detail) {
    if (why != nullptr) {
        *why = std::move(detail);
    }
}

}  // namespace vorlanth
