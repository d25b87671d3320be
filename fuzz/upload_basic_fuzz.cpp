// Fuzz target: a BASIC object program and its companion uploaded through the real driver to the
// in-process terminal.
#include "fuzz/upload_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vorlanth::fuzzing::runUploadCase(vorlanth::Basic, data, size);
    return 0;
}
