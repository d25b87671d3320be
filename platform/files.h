// FileSystem and ReadableFile: how the core opens and reads program files, companions and
// fleet lists, without blocking in an open and with the reason when a file is refused.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "common/failure_detail.h"

namespace vorlanth::platform {

// A file open for sequential reading, closed when the object is destroyed.
class ReadableFile {
  public:
    virtual ~ReadableFile() = default;
    // Reads up to buffer.size() bytes; returns the count read, 0 at the end, -1 on failure.
    virtual std::int64_t read(std::span<std::uint8_t> buffer) = 0;
    // The file's size in bytes, or -1 when it cannot be taken.
    virtual std::int64_t size() = 0;
    // Goes back to the file's start, so that it is read again from its first byte; false when
    // it cannot.
    virtual bool rewind() = 0;
};

class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // Opens an existing regular file for reading, without sharing and without ever blocking
    // in the open (a FIFO, a device, a socket or a directory is refused at once); nullptr on
    // failure, with why (when given) saying which file and why.
    virtual std::unique_ptr<ReadableFile> openForReading(const std::string& path,
                                                         FailureDetail* why = nullptr) = 0;
    // Opens a text that is read once from its start to its end: a regular file, a FIFO or a
    // pipe (a list made by another program, "<(command)"), or standard input for "-". Its
    // reads wait for data for as long as it takes, but end (-1) when a stop of the run is
    // requested; a device, a socket or a directory is refused at once. nullptr on failure,
    // with why (when given) saying which file and why.
    virtual std::unique_ptr<ReadableFile> openTextStream(const std::string& path,
                                                         FailureDetail* why = nullptr) = 0;
    // File status: the size of an existing file, nothing when there is none.
    virtual std::optional<std::uint64_t> fileSize(const std::string& path) = 0;
};

}  // namespace vorlanth::platform
