#pragma once

#include <cstdio>
#include <string>

namespace vorlanth::testing {

// A temporary stream whose whole text can be read back.
class CapturedStream {
  public:
    CapturedStream() : file_(std::tmpfile()) {}
    ~CapturedStream() { std::fclose(file_); }
    CapturedStream(const CapturedStream&) = delete;
    CapturedStream& operator=(const CapturedStream&) = delete;
    std::FILE* get() { return file_; }
    std::string text() {
        std::fflush(file_);
        std::rewind(file_);
        std::string all;
        char buffer[512];
        std::size_t count;
        while ((count = std::fread(buffer, 1, sizeof buffer, file_)) > 0) {
            all.append(buffer, count);
        }
        return all;
    }

  private:
    std::FILE* file_;
};

}  // namespace vorlanth::testing
