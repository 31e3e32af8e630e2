// The hash that splits a list into shards is documented for users who split lists themselves:
// FNV-1a, 64 bits, over the bytes as they are.
#include <gtest/gtest.h>

#include "Text.h"

namespace korvale {
namespace {

TEST(ShardHash, IsFnv1a64OverTheBytes) {
    const struct {
        const char* bytes;
        uint64_t hash;
    } cases[] = {
        {"", 0xcbf29ce484222325ULL},  // the offset basis
        {"a", 0xaf63dc4c8601ec8cULL},
        {"foobar", 0x85944171f73967e8ULL},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Fnv1a64(c.bytes), c.hash) << c.bytes;
    }
    // Each byte counts as an unsigned value, NUL and bytes above 0x7f alike.
    uint64_t expected = 0xcbf29ce484222325ULL;
    for (const unsigned char byte : {0xffu, 0x00u, 0x2fu, 0x78u}) {
        expected = (expected ^ byte) * 0x100000001b3ULL;
    }
    EXPECT_EQ(Fnv1a64(std::string("\xff\x00/x", 4)), expected);
}

}  // namespace
}  // namespace korvale
