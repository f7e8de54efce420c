// The checks of attribute rows: first item of a name decides, kind, count and
// range rules, optional and empty arrays, and the "dest_dtype", "cfa_pattern",
// choice and "engine_opts" rules.
#include <array>

#include "ops/attr_values.hpp"
#include "test_pointwise_support.hpp"

using namespace pyxa;
using namespace pyxa::test;

namespace {

Status check(std::span<const AttrRow> rows, const Attrs& a, AttrValues* v) {
    return v->check(rows, AttrList(a.data(), a.size()));
}

constexpr const char* kTypes[] = {"uint8", "uint16", "float32"};
constexpr const char* kPatterns[] = {"RGGB", "BGGR", "GRBG", "GBRG"};
constexpr const char* kChromaKey[] = {"chroma_lut"};
constexpr const char* kModes[] = {"reflect", "symmetric", "edge", "constant"};

}  // namespace

TEST(AttrRows, FirstItemOfANameDecides) {
    Attrs a;
    a.str("value", "x").f32("value", 2.0f).i32("n", 3).i32("n", 4);
    AttrValues v;
    const AttrRow value[] = {{.name = "value", .kind = AttrKind::Float, .required = true}};
    EXPECT_EQ(check(value, a, &v), INVALID_ARGUMENT);  // the string is seen first
    const AttrRow n[] = {{.name = "n", .kind = AttrKind::Int, .required = true}};
    ASSERT_EQ(check(n, a, &v), OK);
    EXPECT_EQ(v.i32("n"), 3);
}

struct KindCase {
    AttrRow row;
    Status status;
};
class AttrKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(AttrKinds, Rule) {
    Attrs a;
    a.i32("i", 1).f32("f", 1.5f).floats("three", {1, 2, 3}).str("s", "text").i32("nine", 9);
    AttrValues v;
    const AttrRow rows[] = {GetParam().row};
    EXPECT_EQ(check(rows, a, &v), GetParam().status) << GetParam().row.name;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, AttrKinds,
    ::testing::Values(KindCase{{.name = "f", .kind = AttrKind::Int, .required = true}, INVALID_ARGUMENT},
                      KindCase{{.name = "missing", .kind = AttrKind::Int, .required = true}, INVALID_ARGUMENT},
                      KindCase{{.name = "missing", .kind = AttrKind::Int, .required = false}, OK},
                      KindCase{{.name = "i", .kind = AttrKind::Float, .required = true}, INVALID_ARGUMENT},
                      KindCase{{.name = "f", .kind = AttrKind::Flag, .required = false}, INVALID_ARGUMENT},
                      KindCase{{.name = "three", .kind = AttrKind::Floats, .required = true, .min_count = 4},
                               INVALID_ARGUMENT},
                      KindCase{{.name = "three", .kind = AttrKind::Floats, .required = true, .min_count = 3}, OK},
                      KindCase{{.name = "three", .kind = AttrKind::Floats, .required = true, .exact_count = 2},
                               INVALID_ARGUMENT},
                      KindCase{{.name = "f", .kind = AttrKind::Floats, .required = true}, INVALID_ARGUMENT},
                      KindCase{{.name = "three", .kind = AttrKind::Ints, .required = true}, INVALID_ARGUMENT},
                      KindCase{{.name = "i", .kind = AttrKind::Choice, .required = false, .choices = kModes},
                               INVALID_ARGUMENT},
                      KindCase{{.name = "s", .kind = AttrKind::Choice, .required = false, .choices = kModes},
                               INVALID_ARGUMENT},
                      KindCase{{.name = "nine",
                                .kind = AttrKind::Int,
                                .required = true,
                                .has_minimum = true,
                                .has_maximum = true,
                                .minimum = 1,
                                .maximum = 8,
                                .range_text = "1..8"},
                               INVALID_ARGUMENT},
                      KindCase{{.name = "i", .kind = AttrKind::Int, .required = true, .has_minimum = true, .minimum = 1},
                               OK}));

TEST(AttrRows, AbsentFlagTakesItsDefaultAndAnEmptyArrayMayCountAsAbsent) {
    Attrs a;
    a.floats("deltas", {});
    AttrValues v;
    const AttrRow rows[] = {{.name = "on", .kind = AttrKind::Flag, .required = false, .flag_default = true},
                            {.name = "deltas", .kind = AttrKind::Floats, .required = false, .empty_is_absent = true}};
    ASSERT_EQ(check(rows, a, &v), OK);
    EXPECT_TRUE(v.flag("on"));
    EXPECT_FALSE(v.has("deltas"));
    const AttrRow strict[] = {{.name = "deltas", .kind = AttrKind::Floats, .required = false}};
    EXPECT_EQ(check(strict, a, &v), INVALID_ARGUMENT);
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
    AttrValues v;
    const AttrRow rows[] = {{.name = "dest_dtype", .kind = AttrKind::DType, .required = true, .choices = kTypes}};
    EXPECT_EQ(check(rows, a, &v), c.status);
    if (c.status == OK) {
        EXPECT_EQ(v.dtype("dest_dtype"), c.dtype);
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
    AttrValues v;
    const AttrRow rows[] = {{.name = "cfa_pattern", .kind = AttrKind::Cfa, .required = true, .choices = kPatterns}};
    EXPECT_EQ(check(rows, a, &v), c.status);
    if (c.status == OK) {
        const int32_t* s = v.cfa_sites("cfa_pattern");
        EXPECT_EQ((std::array<int32_t, 4>{s[0], s[1], s[2], s[3]}), c.sites);
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
    AttrValues v;
    const AttrRow rows[] = {
        {.name = "engine_opts", .kind = AttrKind::Switches, .required = false, .choices = kChromaKey}};
    EXPECT_EQ(check(rows, a, &v), c.status) << c.text;
    if (c.status == OK) {
        EXPECT_EQ(v.switch_on("engine_opts", true), c.value) << c.text;
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
    const AttrRow rows[] = {
        {.name = "engine_opts", .kind = AttrKind::Switches, .required = false, .choices = kChromaKey}};
    Attrs none;
    AttrValues v;
    ASSERT_EQ(check(rows, none, &v), OK);
    EXPECT_TRUE(v.switch_on("engine_opts", true));
    Attrs num;
    num.i32("engine_opts", 1);
    EXPECT_EQ(check(rows, num, &v), INVALID_ARGUMENT);
}

TEST(AttrRows, ChoiceIsItsIndex) {
    Attrs a;
    a.str("mode", "edge");
    AttrValues v;
    const AttrRow rows[] = {{.name = "mode", .kind = AttrKind::Choice, .required = false, .choices = kModes}};
    ASSERT_EQ(check(rows, a, &v), OK);
    EXPECT_EQ(v.choice("mode", 3), 2);
    Attrs none;
    ASSERT_EQ(check(rows, none, &v), OK);
    EXPECT_EQ(v.choice("mode", 3), 3);
}
