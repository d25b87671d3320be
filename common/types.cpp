// The start-up preset of the upload settings and the text of a response line.
#include "common/types.h"

#include <cstring>

namespace vorlanth {

void presetUploadSettings(UploadSettings& settings) {
    settings.linkType = Serial;
    settings.comPort = 1;
    settings.baudIndex = 0;
    settings.targetAddress.clear();
    settings.targetPort = 3000;
    settings.fileType = SRecord;
}

std::string_view ResponseLine::text() const {
    return {bytes.data(), strnlen(bytes.data(), kCapacity)};
}

}  // namespace vorlanth
