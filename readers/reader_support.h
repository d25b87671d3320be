#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/files.h"
#include "ui/front_end.h"

namespace vorlanth::readers {

// Where a reader reports how far it has come, and lets the progress window breathe.
class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    // Sets the bar to percent (0..100); consumed and total are the program file's bytes.
    virtual void setProgress(int percent, std::uint64_t consumed, std::uint64_t total) = 0;
    // Handles at most one waiting window message.
    virtual void pumpOneMessage() = 0;
};

// The message a reader shows when a program file is not in its format.
inline constexpr std::string_view kFormatErrorText = "Format Error!";
inline constexpr std::string_view kFormatErrorCaption = "Program Download";

// Shows "Format Error!": warning, OK, topmost, no owner window; returns when it is closed.
void showFormatError(ui::FrontEnd& frontEnd);

// Sets the progress position to consumed × 100 / total (integer division), then pumps one
// window message.
void advanceProgress(ProgressSink& progress, std::uint64_t consumed, std::uint64_t total);

// Reads until buffer is full, the file ends or a read fails; returns the bytes read.
std::size_t readFully(platform::ReadableFile& file, std::span<std::uint8_t> buffer);

}  // namespace vorlanth::readers
