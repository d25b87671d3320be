// The system's SHA-256 against published digests: whole inputs, and the same inputs fed in
// pieces of odd sizes that end inside and across 64-byte blocks; a second finish is refused.
#include "platform/digest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace vorlanth::testing {
namespace {

std::span<const std::uint8_t> bytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// The digest of input fed in pieces whose sizes repeat pieceSizes (all of it at once when
// empty), as 64 hexadecimal digits; "failed: ..." when the system's digest failed.
std::string digestOf(const std::string& input, const std::vector<std::size_t>& pieceSizes) {
    const auto sha = platform::startSha256();
    std::span<const std::uint8_t> rest = bytesOf(input);
    for (std::size_t i = 0; !pieceSizes.empty() && !rest.empty(); ++i) {
        const std::size_t size = std::min(pieceSizes[i % pieceSizes.size()], rest.size());
        sha->add(rest.first(size));
        rest = rest.subspan(size);
    }
    sha->add(rest);
    const Result<platform::Sha256Digest> digest = sha->finish();
    return digest ? platform::sha256Hex(digest.value())
                  : "failed: " + describeFailure(digest.failure());
}

struct KnownDigest {
    const char* name;
    std::string input;
    const char* sha256;
};

const std::vector<KnownDigest>& knownDigests() {
    static const std::vector<KnownDigest> table = {
        {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"448 bits", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {"896 bits",
         "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqr"
         "lmnopqrsmnopqrstnopqrstu",
         "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        {"a million a", std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    return table;
}

TEST(Sha256Test, KnownDigestsWholeAndInPieces) {
    // 1 and 63 end inside a block, 65 and 127 cross one, 0 adds nothing, 4099 spans many.
    const std::vector<std::vector<std::size_t>> pieceSizes = {
        {}, {1}, {63, 1, 0}, {65, 127, 3}, {4099, 7}};
    for (const KnownDigest& known : knownDigests()) {
        for (const auto& sizes : pieceSizes) {
            EXPECT_EQ(digestOf(known.input, sizes), known.sha256)
                << known.name << " in pieces of " << ::testing::PrintToString(sizes);
        }
    }
}

TEST(Sha256Test, FinishedOnceOnly) {
    const auto sha = platform::startSha256();
    sha->add(bytesOf("abc"));
    ASSERT_TRUE(sha->finish().ok());
    const Result<platform::Sha256Digest> again = sha->finish();
    ASSERT_FALSE(again.ok());
    EXPECT_EQ(again.failure().object, "SHA-256");
}

}  // namespace
}  // namespace vorlanth::testing
