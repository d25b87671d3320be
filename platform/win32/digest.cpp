// SHA-256 from Windows' own cryptography (CNG, bcrypt.dll): no library to ship, and the
// system keeps it up to date.
#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <cstdio>

#include "platform/digest.h"

namespace vorlanth::platform {

namespace {

class CngSha256 final : public Sha256 {
  public:
    // Windows 7 and later: the hash object's memory may be left to CNG (no buffer given).
    CngSha256() {
        if (succeeded(BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0),
                      "BCryptOpenAlgorithmProvider")) {
            succeeded(BCryptCreateHash(algorithm_, &hash_, nullptr, 0, nullptr, 0, 0),
                      "BCryptCreateHash");
        }
    }

    ~CngSha256() override {
        if (hash_ != nullptr) {
            BCryptDestroyHash(hash_);
        }
        if (algorithm_ != nullptr) {
            BCryptCloseAlgorithmProvider(algorithm_, 0);
        }
    }

    CngSha256(const CngSha256&) = delete;
    CngSha256& operator=(const CngSha256&) = delete;

    // BCryptHashData takes at most a ULONG of bytes at a time.
    void add(std::span<const std::uint8_t> bytes) override {
        constexpr std::size_t kLargestPiece = 0x40000000;
        while (!bytes.empty() && usable()) {
            const std::size_t piece = std::min(bytes.size(), kLargestPiece);
            succeeded(BCryptHashData(hash_, const_cast<PUCHAR>(bytes.data()),
                                     static_cast<ULONG>(piece), 0),
                      "BCryptHashData");
            bytes = bytes.subspan(piece);
        }
    }

    Result<Sha256Digest> finish() override {
        if (finished_) {
            return objectFailure("SHA-256", "the digest was finished already");
        }
        if (usable()) {
            Sha256Digest digest{};
            const bool done = succeeded(
                BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0),
                "BCryptFinishHash");
            finished_ = true;
            if (done) {
                return digest;
            }
        }
        finished_ = true;
        return failure_;
    }

  private:
    bool usable() const { return failure_.empty() && hash_ != nullptr && !finished_; }

    // True for a status that says success; otherwise the first failure is kept for finish.
    bool succeeded(NTSTATUS status, const char* call) {
        if (BCRYPT_SUCCESS(status)) {
            return true;
        }
        if (failure_.empty()) {
            char reason[96];
            std::snprintf(reason, sizeof reason, "%s failed with status 0x%08lX", call,
                          static_cast<unsigned long>(status));
            failure_ = objectFailure("SHA-256", reason);
        }
        return false;
    }

    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
    FailureDetail failure_;
    bool finished_ = false;
};

}  // namespace

std::unique_ptr<Sha256> startSha256() {
    return std::make_unique<CngSha256>();
}

}  // namespace vorlanth::platform
