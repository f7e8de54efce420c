// The block forms of the element helpers (clamps, stores, table lookups) run
// their bounds as separate passes for speed; each must give, bit for bit, what
// the element form gives, for special values and for every ragged block length.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "kernels/pointwise/block_lookup.hpp"
#include "kernels/pointwise/element_io.hpp"

using namespace pyxa;

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Special values first, then a random spread around the clamp bounds, so every
// block length below starts with the awkward cases.
std::vector<float> awkward_values(uint64_t n) {
    std::vector<float> v = {kNaN,   -kNaN,  kInf,  -kInf,      0.0f,   -0.0f,   1.0f,     -1.0f,
                            0.5f,   1e-40f, -1e-40f, 0.99999994f, 1.0000001f, 254.99f, 255.0f, 255.5f,
                            256.0f, 65535.0f, 65535.5f, 65536.0f, 1e30f, -1e30f, 2147483520.0f, 3e9f};
    std::mt19937 gen(3);
    std::uniform_real_distribution<float> u(-0.5f, 1.5f);
    while (v.size() < n) v.push_back(u(gen));
    v.resize(n);
    return v;
}

template <typename T>
bool same_bytes(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0;
}

template <typename Out>
void check_stores(uint64_t n, float scale) {
    const std::vector<float> v = awkward_values(n);
    std::vector<Out> expect(n + 1, Out{7}), got(expect), got_unit(expect), expect_unit(expect);
    for (uint64_t j = 0; j < n; ++j) {
        expect[j] = store_element<Out>(v[j]);
        expect_unit[j] = store_element<Out>(scale * clamp01(v[j]));
    }
    std::vector<float> scratch = v;
    store_block(scratch.data(), n, got.data());
    scratch = v;
    store_unit_block(scratch.data(), n, scale, got_unit.data());
    EXPECT_TRUE(same_bytes(expect, got)) << "store_block, n = " << n;
    EXPECT_TRUE(same_bytes(expect_unit, got_unit)) << "store_unit_block, n = " << n << ", scale = " << scale;
}

class BlockStores : public ::testing::TestWithParam<uint64_t> {};

TEST_P(BlockStores, MatchElementStores) {
    const uint64_t n = GetParam();
    check_stores<uint8_t>(n, 255.0f);
    check_stores<uint8_t>(n, 65535.0f);  // a scale above the type's range saturates
    check_stores<uint16_t>(n, 65535.0f);
    check_stores<uint16_t>(n, 2147483647.0f);
    check_stores<float>(n, 1.0f);
}

TEST_P(BlockStores, Clamp01KeepsEveryBit) {
    const uint64_t n = GetParam();
    const std::vector<float> v = awkward_values(n);
    std::vector<float> expect(n), got = v;
    for (uint64_t j = 0; j < n; ++j) expect[j] = clamp01(v[j]);
    clamp01_block(got.data(), n);
    EXPECT_TRUE(same_bytes(expect, got));  // -0 stays -0
}

INSTANTIATE_TEST_SUITE_P(Lengths, BlockStores, ::testing::Values(0, 1, 3, 7, 8, 9, 24, 31, 33, 64, 257));

std::vector<float> table_entries(uint64_t n, uint32_t seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<float> u(-0.2f, 1.2f);
    std::vector<float> t(n);
    for (float& x : t) x = u(gen);
    t[0] = -0.0f;
    return t;
}

class BlockLookup : public ::testing::TestWithParam<std::tuple<uint64_t, uint64_t>> {};

TEST_P(BlockLookup, MatchesTableLookup) {
    const auto [entries, n] = GetParam();
    std::vector<float> table = table_entries(entries, 11);
    table.push_back(table.back());  // the guard entry
    const float last = static_cast<float>(entries - 1);
    std::vector<float> pos = awkward_values(n);
    std::mt19937 gen(5);
    std::uniform_real_distribution<float> u(-2.0f, last + 2.0f);
    for (uint64_t j = 24; j < n; ++j) pos[j] = j % 5 == 0 ? std::floor(u(gen)) : u(gen);
    if (n > 24) pos[n - 1] = last;
    std::vector<float> expect(n), got(n, 9.0f);
    for (uint64_t j = 0; j < n; ++j) expect[j] = table_lookup(table.data(), last, pos[j]);
    lookup_block(table.data(), last, n, [&](uint64_t j) { return pos[j]; }, [&](uint64_t j, float v) { got[j] = v; });
    EXPECT_TRUE(same_bytes(expect, got));
}

INSTANTIATE_TEST_SUITE_P(TablesAndLengths, BlockLookup,
                         ::testing::Combine(::testing::Values(2, 5, 4096),
                                            ::testing::Values(1, 3, 4, 5, 23, 64, 255, 256)));

TEST(GatherPairs, EveryLengthReadsNeighbourPairs) {
    std::vector<float> table(40);
    for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<float>(i) * 1.5f;
    alignas(64) int32_t idx[kLookupBlock];
    for (uint64_t j = 0; j < kLookupBlock; ++j) idx[j] = static_cast<int32_t>((j * 7) % 39);
    for (uint64_t n = 0; n <= 13; ++n) {
        std::vector<float> lo(n + 1, -1.0f), hi(n + 1, -1.0f);
        gather_pairs(table.data(), idx, lo.data(), hi.data(), n);
        for (uint64_t j = 0; j < n; ++j) {
            EXPECT_EQ(lo[j], table[idx[j]]);
            EXPECT_EQ(hi[j], table[idx[j] + 1]);
        }
        EXPECT_EQ(lo[n], -1.0f) << "wrote past n = " << n;
        EXPECT_EQ(hi[n], -1.0f) << "wrote past n = " << n;
    }
}

}  // namespace
