// Shared attribute getters: first item of a name decides, kind and count
// checks, private copies, and the "dest_dtype", "cfa_pattern" and
// "engine_opts" rules.
#include <array>

#include "ops/attrs.hpp"
#include "test_pointwise_support.hpp"

using namespace pyxa;
using namespace pyxa::test;

namespace {
AttrList list(const Attrs& a) { return AttrList(a.data(), a.size()); }
}  // namespace

TEST(AttrGetters, FirstItemOfANameDecides) {
    Attrs a;
    a.str("value", "x").f32("value", 2.0f).i32("n", 3).i32("n", 4);
    float f = 0;
    int32_t n = 0;
    EXPECT_EQ(list(a).required_float("value", &f), INVALID_ARGUMENT);  // the string is seen first
    EXPECT_EQ(list(a).required_int("n", &n), OK);
    EXPECT_EQ(n, 3);
}

TEST(AttrGetters, KindsAndCounts) {
    Attrs a;
    a.i32("i", 1).f32("f", 1.5f).floats("three", {1, 2, 3}).str("s", "text");
    const AttrList l = list(a);
    int32_t i = 0;
    float f = 0;
    bool b = false;
    std::vector<float> v;
    const char* s = nullptr;
    EXPECT_EQ(l.required_int("f", &i), INVALID_ARGUMENT);
    EXPECT_EQ(l.required_int("missing", &i), INVALID_ARGUMENT);
    EXPECT_EQ(l.required_float("i", &f), INVALID_ARGUMENT);
    EXPECT_EQ(l.flag("missing", true, &b), OK);
    EXPECT_TRUE(b);
    EXPECT_EQ(l.flag("f", false, &b), INVALID_ARGUMENT);
    EXPECT_EQ(l.float_array_min("three", 4, &v), INVALID_ARGUMENT);
    EXPECT_EQ(l.float_array_exact("three", 2, &v), INVALID_ARGUMENT);
    EXPECT_EQ(l.float_array_exact("f", 1, &v), INVALID_ARGUMENT);
    EXPECT_EQ(l.optional_string("i", &s), INVALID_ARGUMENT);
    EXPECT_EQ(l.optional_string("missing", &s), OK);
    EXPECT_EQ(s, nullptr);
}

TEST(AttrGetters, ArraysAreCopied) {
    std::vector<float> src = {1, 2, 3};
    AttrItem it{};
    it.name = "lut";
    it.type = ATTR_FLOAT32_ARRAY;
    it.count = 3;
    it.value.ptr = src.data();
    std::vector<float> v;
    ASSERT_EQ(AttrList(&it, 1).float_array_min("lut", 2, &v), OK);
    src[0] = 9;
    EXPECT_EQ(v, (std::vector<float>{1, 2, 3}));
    it.value.ptr = nullptr;
    EXPECT_EQ(AttrList(&it, 1).float_array_min("lut", 2, &v), INVALID_ARGUMENT);
}

struct DestCase {
    bool as_string;
    const char* text;
    Status status;
    int32_t dtype;
};
class DestDtype : public ::testing::TestWithParam<DestCase> {};

TEST_P(DestDtype, Rule) {
    const DestCase c = GetParam();
    Attrs a;
    if (c.as_string) a.str("dest_dtype", c.text);
    else a.i32("dest_dtype", 1);
    int32_t d = -1;
    EXPECT_EQ(read_dest_dtype(list(a), &d), c.status);
    if (c.status == OK) {
        EXPECT_EQ(d, c.dtype);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, DestDtype,
                         ::testing::Values(DestCase{true, "uint8", OK, UINT8}, DestCase{true, "uint16", OK, UINT16},
                                           DestCase{true, "float32", OK, FLOAT32},
                                           DestCase{true, "float16", UNSUPPORTED_DTYPE, 0},
                                           DestCase{true, "Uint8", UNSUPPORTED_DTYPE, 0},
                                           DestCase{false, "", INVALID_ARGUMENT, 0}));

struct CfaCase {
    const char* text;
    Status status;
    std::array<int32_t, 4> sites;
};
class CfaPattern : public ::testing::TestWithParam<CfaCase> {};

TEST_P(CfaPattern, Rule) {
    const CfaCase c = GetParam();
    Attrs a;
    a.str("cfa_pattern", c.text);
    int32_t cfa[4] = {-1, -1, -1, -1};
    EXPECT_EQ(read_cfa_pattern(list(a), cfa), c.status);
    if (c.status == OK) {
        EXPECT_EQ((std::array<int32_t, 4>{cfa[0], cfa[1], cfa[2], cfa[3]}), c.sites);
    }
}

INSTANTIATE_TEST_SUITE_P(Patterns, CfaPattern,
                         ::testing::Values(CfaCase{"RGGB", OK, {0, 1, 1, 2}}, CfaCase{"bggr", OK, {2, 1, 1, 0}},
                                           CfaCase{"GrBg", OK, {1, 0, 2, 1}}, CfaCase{"GBRG", OK, {1, 2, 0, 1}},
                                           CfaCase{"RGGBR", INVALID_ARGUMENT, {}},
                                           CfaCase{"RGBG", INVALID_ARGUMENT, {}},
                                           CfaCase{"", INVALID_ARGUMENT, {}}));

struct OptsCase {
    const char* text;
    Status status;
    bool value;
};
class EngineOpts : public ::testing::TestWithParam<OptsCase> {};

TEST_P(EngineOpts, Rule) {
    const OptsCase c = GetParam();
    Attrs a;
    a.str("engine_opts", c.text);
    bool v = true;
    EXPECT_EQ(read_engine_opts(list(a), "chroma_lut", true, &v), c.status) << c.text;
    if (c.status == OK) {
        EXPECT_EQ(v, c.value) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, EngineOpts,
                         ::testing::Values(OptsCase{"{}", OK, true}, OptsCase{"{\"chroma_lut\": false}", OK, false},
                                           OptsCase{"{\"chroma_lut\": true}", OK, true},
                                           OptsCase{"{\"prism_lut\": false}", INVALID_ARGUMENT, true},
                                           OptsCase{"{\"chroma_lut\": 0}", INVALID_ARGUMENT, true},
                                           OptsCase{"[true]", INVALID_ARGUMENT, true},
                                           OptsCase{"not json", INVALID_ARGUMENT, true},
                                           OptsCase{"true", INVALID_ARGUMENT, true}));

TEST(EngineOpts, AbsentKeepsDefaultAndNonStringRefused) {
    Attrs none;
    bool v = false;
    EXPECT_EQ(read_engine_opts(list(none), "prism_lut", true, &v), OK);
    EXPECT_TRUE(v);
    Attrs num;
    num.i32("engine_opts", 1);
    EXPECT_EQ(read_engine_opts(list(num), "prism_lut", true, &v), INVALID_ARGUMENT);
}
