#include "readers/reader_support.h"

namespace vorlanth::readers {

void showFormatError(ui::FrontEnd& frontEnd) {
    ui::MessageBoxRequest request;
    request.owner = 0;
    request.text = std::string(kFormatErrorText);
    request.caption = std::string(kFormatErrorCaption);
    request.icon = ui::MessageIcon::Warning;
    request.buttons = ui::MessageButtons::Ok;
    request.topmost = true;
    frontEnd.showMessageBox(request);
}

void advanceProgress(ProgressSink& progress, std::uint64_t consumed, std::uint64_t total) {
    const auto percent = total == 0 ? 0 : static_cast<int>(consumed * 100 / total);
    progress.setProgress(percent, consumed, total);
    progress.pumpOneMessage();
}

// Short reads (pipes, network files) are joined, so that a reader always sees whole pieces.
std::size_t readFully(platform::ReadableFile& file, std::span<std::uint8_t> buffer) {
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        const std::int64_t count = file.read(buffer.subspan(filled));
        if (count <= 0) {
            break;
        }
        filled += static_cast<std::size_t>(count);
    }
    return filled;
}

}  // namespace vorlanth::readers
