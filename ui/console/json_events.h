// The --json events of the console: one JSON object per line, for a single upload or for a
// fleet target, written with the one JSON writer (common/json_writer.h).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "common/json_writer.h"
#include "common/types.h"
#include "shell/front_end.h"
#include "shell/program_digest.h"

namespace vorlanth::ui::console {

// The members of a failure's detail that are known, into the open object of json.
void writeDetail(JsonWriter& json, const FailureDetail& detail);

// The members "sha256" and "companion_sha256" for the digests that are known, into the open
// object of json.
void writeDigests(JsonWriter& json, const shell::ProgramDigests& digests);

// The member that names a fleet target: ,"target":{"line":N,"text":"..."} (led by a comma).
std::string targetMember(int line, std::string_view text);

// Where JSON lines go when one writer gathers them from many threads.
class JsonLineSink {
  public:
    virtual ~JsonLineSink() = default;
    // Takes one complete JSON object, without its line end.
    virtual void writeJsonLine(std::string line) = 0;
};

// Writes one JSON object per line on its stream, flushed at once; nothing else goes there.
// A writer for one fleet target hands its lines to a sink instead, each event carrying the
// target's member right after its name. The start event waits for the program's digests: it is
// written once the check pass has taken them, or before any other event that comes first.
class JsonEventWriter {
  public:
    explicit JsonEventWriter(std::FILE* stream, std::string targetMembers = {})
        : stream_(stream), targetMembers_(std::move(targetMembers)) {}
    JsonEventWriter(JsonLineSink& sink, std::string targetMembers)
        : sink_(&sink), targetMembers_(std::move(targetMembers)) {}
    // A start event still waiting (a run that wrote nothing after it) is written now.
    ~JsonEventWriter() { writeStart(); }
    JsonEventWriter(const JsonEventWriter&) = delete;
    JsonEventWriter& operator=(const JsonEventWriter&) = delete;

    // The start of an upload, written with the digests of its first check pass (known ones,
    // such as a fleet list's, until then).
    void start(const UploadSettings& settings, const shell::ProgramDigests& known = {});
    // The check pass took the program's digests: the start event goes out with them.
    void programChecked(const shell::ProgramDigests& digests);
    void uploadEvent(UploadEvent event);
    void progress(int percent, std::uint64_t consumed, std::uint64_t total);
    // A message of the table: its code (0 for a message that is no result code), text and why.
    void message(MessageId message, const FailureDetail& detail);
    // A message that is not in the table (a fleet list's own), with code 0.
    void message(std::string_view text, const FailureDetail& detail);
    // The retry question with its answer and why it was asked.
    void retryQuestion(bool retry, const FailureDetail& why);
    void warning(std::string_view summary, const FailureDetail& detail);
    void stopped(std::string_view signalName);
    void result(int exitCode);
    // A usage error: its message (code 0, as the command line's own errors) and the result 2.
    void usageError(std::string_view text);
    // The end of a fleet run; members are the event's own, each led by a comma.
    void fleet(const std::string& members);

  private:
    void writeMessage(int code, std::string_view text, const char* answer,
                      const FailureDetail& detail);
    // Writes the start event if it is still waiting.
    void writeStart();
    // A new object for event, the target's member right after the event's name; writes a
    // waiting start event first.
    JsonWriter begin(std::string_view event);
    // Closes the object and writes it as one line (or hands it to the sink).
    void write(JsonWriter& json);
    std::FILE* stream_ = nullptr;
    JsonLineSink* sink_ = nullptr;
    std::string targetMembers_;
    // The start event until it is written, and the digests it will carry.
    std::optional<JsonWriter> pendingStart_;
    shell::ProgramDigests startDigests_;
};

}  // namespace vorlanth::ui::console
