// The message table: every message the system shows a person, looked up by what it means (a
// result code, "Format Error!", "SHA-256 mismatch!", a command-line error), with the text, caption,
// icon, buttons, owner and topmost flag its box has. Every front end and the settings dialog show
// these.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/types.h"
#include "vorlanth/version.h"

namespace vorlanth {

enum class MessageIcon { None, Information, Warning, Question };
enum class MessageButtons { Ok, YesNo };
// Which window a desktop front end puts a message's box in front of: none, the window active
// when it is shown, or the settings form while that is open (the active window otherwise).
enum class MessageOwner { None, ActiveWindow, SettingsForm };

// The caption of every message box about an upload (two blanks before the parenthesis).
inline constexpr std::string_view kProgramCaption =
    "Program download  (Ver. " VORLANTH_VERSION_TEXT ")";

// The message shown when a program file is not in its format; it has a caption of its own.
inline constexpr std::string_view kFormatErrorText = "Format Error!";
inline constexpr std::string_view kFormatErrorCaption = "Program Download";

// The message shown when a program file's SHA-256 is not the one the run expects.
inline constexpr std::string_view kUnexpectedDigestText = "SHA-256 mismatch!";

// What kind of message: one of the result codes, the format error, a program that is not the
// expected one, or a command-line error.
enum class MessageKind { Result, FormatError, UnexpectedDigest, CommandLine };

// A message by what it means; its text and look come from the table.
struct MessageId {
    MessageKind kind = MessageKind::Result;
    int number = 0;  // the result code, or the command line's error number

    static constexpr MessageId result(ResultCode code) {
        return {MessageKind::Result, codeNumber(code)};
    }
    static constexpr MessageId formatError() { return {MessageKind::FormatError, 0}; }
    static constexpr MessageId unexpectedDigest() { return {MessageKind::UnexpectedDigest, 0}; }
    static constexpr MessageId commandLine(int error) { return {MessageKind::CommandLine, error}; }
    // The question asked after a failed upload.
    static constexpr MessageId retryQuestion() { return result(ResultCode::RetryQuestion); }

    friend constexpr bool operator==(const MessageId&, const MessageId&) = default;
};

struct MessageEntry {
    MessageId id;
    std::string_view text;
    std::string_view caption;  // empty: the platform's default caption
    MessageIcon icon;
    MessageButtons buttons;
    MessageOwner owner;
    bool topmost;

    // The number a script is given for the message: its result code; 0 for the others.
    int code() const { return id.kind == MessageKind::Result ? id.number : 0; }
};

// The table entry of a message; nothing for a message outside the table (a result code
// without a message of its own, such as 0 or 1).
std::optional<MessageEntry> findMessage(MessageId id);

// The table entry of a result code's message; nothing for a code outside the table.
std::optional<MessageEntry> findResultMessage(ResultCode code);

// The table text of a result code's message; empty for a code outside the table.
std::string resultMessageText(ResultCode code);

}  // namespace vorlanth
