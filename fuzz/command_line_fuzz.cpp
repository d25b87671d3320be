// Fuzz target: any argument text through the command-line parser.
#include <cstdint>
#include <string_view>

#include "shell/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    vorlanth::UploadSettings settings;
    const int error = vorlanth::shell::parseCommandLineFields(text, settings);
    if (error < 0 || error > 9) {
        __builtin_trap();
    }
    if (error == 0 && (settings.comPort < 1 || settings.comPort > 255 || settings.baudIndex < 0 ||
                       settings.baudIndex > 4 || settings.fileType < 0 || settings.fileType > 2 ||
                       settings.linkType < 0 || settings.linkType > 2 || settings.targetPort < 1)) {
        __builtin_trap();
    }
    return 0;
}
