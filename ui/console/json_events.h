#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "common/types.h"
#include "ui/front_end.h"

namespace vorlanth::ui::console {

// Quotes text as a JSON string.
std::string jsonString(std::string_view text);

// The name a file type has in JSON: "srecord", "binary-image" or "basic".
const char* fileTypeName(int fileType);

// Writes one JSON object per line on its stream, flushed at once; nothing else goes there.
class JsonEventWriter {
  public:
    explicit JsonEventWriter(std::FILE* stream) : stream_(stream) {}

    void start(const UploadSettings& settings);
    void uploadEvent(UploadEvent event);
    void progress(int percent, std::uint64_t consumed, std::uint64_t total);
    void message(const MessageBoxRequest& request, int answer);
    void warning(std::string_view summary, const FailureDetail& detail);
    void stopped(std::string_view signalName);
    void result(int exitCode);

  private:
    void write(const std::string& object);
    std::FILE* stream_;
};

}  // namespace vorlanth::ui::console
