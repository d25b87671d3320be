#include "platform/system_parts.h"

namespace vorlanth::platform {

namespace {

// Not built yet: the library never starts.
class UnavailableSocketLibrary final : public SocketLibrary {
  public:
    bool startup() override { return false; }
    void cleanup() override {}
    std::unique_ptr<DatagramSocket> createDatagramSocket() override { return nullptr; }
};

}  // namespace

std::unique_ptr<SocketLibrary> makeSystemSocketLibrary() {
    return std::make_unique<UnavailableSocketLibrary>();
}

}  // namespace vorlanth::platform
