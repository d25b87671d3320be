#include "platform/system_parts.h"

namespace vorlanth::platform {

namespace {

// Not built yet: every read gives the default and every write fails.
class UnavailableProfile final : public Profile {
  public:
    std::string readString(std::string_view, std::string_view, std::string_view defaultValue,
                           const std::string&, std::size_t size) override {
        return std::string(defaultValue.substr(0, size > 0 ? size - 1 : 0));
    }
    bool writeString(std::string_view, std::string_view, std::string_view,
                     const std::string&) override {
        return false;
    }
};

}  // namespace

std::unique_ptr<Profile> makeSystemProfile() {
    return std::make_unique<UnavailableProfile>();
}

}  // namespace vorlanth::platform
