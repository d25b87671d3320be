// SHA-256 from Nettle (libnettle), the library GnuTLS and so apt itself are built on: present
// on every Debian system, kept up by its distribution, and its digest cannot fail.
#include <nettle/sha2.h>

#include "platform/digest.h"

namespace vorlanth::platform {

namespace {

class NettleSha256 final : public Sha256 {
  public:
    NettleSha256() { sha256_init(&context_); }

    void add(std::span<const std::uint8_t> bytes) override {
        if (!finished_ && !bytes.empty()) {
            sha256_update(&context_, bytes.size(), bytes.data());
        }
    }

    Result<Sha256Digest> finish() override {
        if (finished_) {
            return objectFailure("SHA-256", "the digest was finished already");
        }
        finished_ = true;
        Sha256Digest digest{};
        sha256_digest(&context_, digest.size(), digest.data());
        return digest;
    }

  private:
    sha256_ctx context_{};
    bool finished_ = false;
};

}  // namespace

std::unique_ptr<Sha256> startSha256() {
    return std::make_unique<NettleSha256>();
}

}  // namespace vorlanth::platform
