// The opcode library's interface: lookup and version, the parameter schema
// check, the two image check schemes and the copy step.
#include <array>

#include "opcodes/schema.hpp"
#include "test_opcode_support.hpp"

using namespace opcode_test;

namespace {

const std::array<const char*, 8> kOps = {
    "apply_profile_gain_table_map", "fix_vignette", "warp_rectilinear", "apply_gain_map",
    "apply_gain_map_cfa", "apply_flat_gain_map", "map_polynomial", "fix_bad_pixels_constant"};

// Input and output images of the opcode's valid call; the output starts as a
// sentinel pattern so that an untouched output is recognisable.
struct Pair {
    FImage fin{5, 6, 3, 2}, fout{5, 6, 3, 1}, fsent{5, 6, 3, 1};
    U16Image uin{5, 6, 1, 2}, uout{5, 6, 1, 1}, usent{5, 6, 1, 1};
    bool u16;
    explicit Pair(const std::string& op, uint64_t channels)
        : fin(5, 6, channels, 2), fout(5, 6, channels, 1), fsent(5, 6, channels, 1),
          u16(op == "fix_bad_pixels_constant") {
        fill(fin, 0.0f, 1.0f, 3);
        fill(fout, 2.0f, 3.0f, 4);
        fill(fsent, 2.0f, 3.0f, 4);
        for (uint64_t y = 0; y < 5; ++y)
            for (uint64_t x = 0; x < 6; ++x) uin.at(y, x) = uint16_t(100 + 7 * y + x), uout.at(y, x) = usent.at(y, x) = 9;
    }
    ImageView in() { return u16 ? uin.view() : fin.view(); }
    ImageView out() { return u16 ? uout.view() : fout.view(); }
    bool untouched() { return (u16 ? uout.same_pixels(usent) : fout.same_pixels(fsent)) && intact(); }
    bool intact() { return fin.guards_intact() && fout.guards_intact() && uin.guards_intact() && uout.guards_intact(); }
};

class OpcodeSchema : public ::testing::TestWithParam<const char*> {};

TEST(OpcodeLookup, NamesVersionAndMisses) {
    std::vector<OpcodeFn> seen;
    for (const char* op : kOps) {
        OpcodeFn fn = tarnimg_lookup_opcode(op);
        ASSERT_NE(fn, nullptr) << op;
        for (OpcodeFn other : seen) EXPECT_NE(fn, other) << op;
        seen.push_back(fn);
    }
    for (const char* bad : {"Fix_vignette", "apply_gain", "apply_gain_map ", "", "pad"})
        EXPECT_EQ(tarnimg_lookup_opcode(bad), nullptr) << bad;
    EXPECT_EQ(tarnimg_lookup_opcode(nullptr), nullptr);
    EXPECT_STREQ(tarnimg_version(), "1.0.0");
}

TEST_P(OpcodeSchema, ValidCallSucceedsWithinItsBuffers) {
    Pair p(GetParam(), valid_channels(GetParam()));
    EXPECT_EQ(call(GetParam(), p.in(), p.out(), valid_attrs(GetParam())), 0);
    EXPECT_TRUE(p.intact());
}

TEST_P(OpcodeSchema, NullItemsWithCountZeroFailUntouched) {
    Pair p(GetParam(), valid_channels(GetParam()));
    const ImageView in = p.in(), out = p.out();
    EXPECT_EQ(tarnimg_lookup_opcode(GetParam())(&in, 1, &out, 1, nullptr, 0), 1);
    EXPECT_TRUE(p.untouched());
}

TEST_P(OpcodeSchema, EveryMissingOrMistypedOrMiscountedRowFails) {
    const Attrs valid = valid_attrs(GetParam());
    for (const std::string& name : valid.names()) {
        SCOPED_TRACE(name);
        Pair p(GetParam(), valid_channels(GetParam()));
        EXPECT_EQ(call(GetParam(), p.in(), p.out(), valid.without(name.c_str())), 1);
        Attrs typed = valid;
        AttrItem& it = typed.item(name.c_str());
        const int32_t good_type = it.type;
        it.type = good_type == TARNIMG_ATTR_INT32 ? TARNIMG_ATTR_FLOAT32 : TARNIMG_ATTR_INT32;
        EXPECT_EQ(call(GetParam(), p.in(), p.out(), typed), 1);
        it.type = good_type;
        const uint64_t good_count = it.count;
        it.count = good_type >= TARNIMG_ATTR_INT32_ARRAY ? 0 : 2;
        EXPECT_EQ(call(GetParam(), p.in(), p.out(), typed), 1);
        it.count = good_count;
        EXPECT_TRUE(p.untouched());
    }
}

TEST_P(OpcodeSchema, FirstItemOfANameDecides) {
    const Attrs valid = valid_attrs(GetParam());
    AttrItem wrong = valid.data()[0];
    wrong.type = 0;
    Pair p(GetParam(), valid_channels(GetParam()));
    Attrs later = valid;
    AttrItem skipped{};  // a null name is skipped by every search
    skipped.type = 99;
    later.front(skipped);
    EXPECT_EQ(call(GetParam(), p.in(), p.out(), later), 0);
    Attrs first = valid;
    first.front(wrong);
    EXPECT_EQ(call(GetParam(), p.in(), p.out(), first), 1);
}

INSTANTIATE_TEST_SUITE_P(AllOpcodes, OpcodeSchema, ::testing::ValuesIn(kOps));

TEST(OpcodeSchemaRows, FixedCountsOptionalRowsAndStrings) {
    FImage in(4, 4, 3), out(4, 4, 3);
    for (uint64_t n : {4u, 6u}) {
        Attrs a = valid_attrs("apply_profile_gain_table_map");
        a.item("weights").count = n;
        EXPECT_EQ(call("apply_profile_gain_table_map", in.view(), out.view(), a), 1) << n;
    }
    Attrs warp = valid_attrs("warp_rectilinear");
    warp.f32s("tangential_params", {0.0f, 0.0f});
    EXPECT_EQ(call("warp_rectilinear", in.view(), out.view(), warp), 1);

    const tarnimg::ParamSpec specs[] = {{"label", TARNIMG_ATTR_STRING, 1, 0}, {"opt", TARNIMG_ATTR_INT32, 1, 1}};
    const AttrItem* slots[2];
    for (const char* text : {static_cast<const char*>(nullptr), ""}) {
        AttrItem s{"label", TARNIMG_ATTR_STRING, 1, {}};
        s.value.ptr = text;
        EXPECT_EQ(tarnimg::check_schema(specs, s.count ? &s : nullptr, 1, slots), 1u);
    }
    AttrItem s{"label", TARNIMG_ATTR_STRING, 1, {}};
    s.value.ptr = "x";
    ASSERT_EQ(tarnimg::check_schema(specs, &s, 1, slots), 0u);
    EXPECT_EQ(slots[0], &s);
    EXPECT_EQ(slots[1], nullptr);
}

class SchemeA : public ::testing::TestWithParam<const char*> {};

TEST_P(SchemeA, ViewFaultsGiveTheirStatusAndLeaveTheOutput) {
    const std::string op = GetParam();
    const uint64_t c = valid_channels(op);
    const Attrs a = valid_attrs(op);
    FImage in(4, 4, c), out(4, 4, c), sent(4, 4, c);
    fill(in);
    struct Case {
        int which;  // 0 input, 1 output
        void (*spoil)(ImageView&);
        int32_t status;
    };
    const Case cases[] = {
        {0, [](ImageView& v) { v.data = nullptr; }, 1},     {1, [](ImageView& v) { v.dtype = 7; }, 1},
        {0, [](ImageView& v) { v.row_stride -= 4; }, 1},    {1, [](ImageView& v) { v.row_stride += 2; }, 1},
        {0, [](ImageView& v) { v.dtype = 1; }, 2},          {1, [](ImageView& v) { v.dtype = 0; }, 2},
        {0, [](ImageView& v) { v.channels += 1, v.width = 1; }, 3}, {1, [](ImageView& v) { v.height = 3; }, 3},
    };
    for (const Case& k : cases) {
        ImageView vi = in.view(), vo = out.view();
        k.spoil(k.which == 0 ? vi : vo);
        const OpcodeFn fn = tarnimg_lookup_opcode(op.c_str());
        EXPECT_EQ(fn(&vi, 1, &vo, 1, a.data(), a.size()), k.status);
        EXPECT_TRUE(out.same_pixels(sent));
    }
    // Only the first view of each list is read; the counts are not looked at.
    ImageView ins[2] = {in.view(), ImageView{}}, outs[2] = {out.view(), ImageView{}};
    EXPECT_EQ(tarnimg_lookup_opcode(op.c_str())(ins, 2, outs, 2, a.data(), a.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(GainOpcodes, SchemeA,
                         ::testing::Values("apply_profile_gain_table_map", "apply_gain_map", "apply_gain_map_cfa",
                                           "apply_flat_gain_map"));

class SchemeB : public ::testing::TestWithParam<const char*> {};

TEST_P(SchemeB, CountsAndShapes) {
    const std::string op = GetParam();
    Pair p(op, valid_channels(op));
    const Attrs a = valid_attrs(op);
    const OpcodeFn fn = tarnimg_lookup_opcode(op.c_str());
    ImageView ins[2] = {p.in(), p.in()}, outs[2] = {p.out(), p.out()};
    EXPECT_EQ(fn(ins, 2, outs, 1, a.data(), a.size()), 1);
    EXPECT_EQ(fn(ins, 1, outs, 0, a.data(), a.size()), 1);
    ImageView short_out = p.out();
    short_out.height = 4;
    EXPECT_EQ(fn(ins, 1, &short_out, 1, a.data(), a.size()), 3);
    EXPECT_TRUE(p.untouched());
}

INSTANTIATE_TEST_SUITE_P(OtherOpcodes, SchemeB,
                         ::testing::Values("fix_vignette", "warp_rectilinear", "map_polynomial",
                                           "fix_bad_pixels_constant"));

TEST(SchemeBTypes, PerOpcodeDtypeAndChannelRules) {
    FImage f1(4, 4, 1), f3(4, 4, 3), f3b(4, 4, 3);
    U16Image u1(4, 4, 1), u3(4, 4, 3);
    const Attrs bad = valid_attrs("fix_bad_pixels_constant");
    EXPECT_EQ(call("fix_bad_pixels_constant", f1.view(), f1.view(), bad), 2);
    EXPECT_EQ(call("fix_bad_pixels_constant", u1.view(), f1.view(), bad), 2);
    EXPECT_EQ(call("fix_bad_pixels_constant", u3.view(), u3.view(), bad), 3);
    EXPECT_EQ(call("fix_vignette", f1.view(), f3.view(), valid_attrs("fix_vignette")), 3);
    EXPECT_EQ(call("map_polynomial", u3.view(), f3.view(), valid_attrs("map_polynomial")), 3);
    EXPECT_EQ(call("warp_rectilinear", u3.view(), u3.view(), valid_attrs("warp_rectilinear")), 2);
    EXPECT_EQ(call("warp_rectilinear", f3.view(), f3b.view(), valid_attrs("warp_rectilinear")), 0);
}

TEST(CopyStep, PaddedRowsCopyExactlyAndKernelFaultsKeepTheCopy) {
    FImage in(7, 5, 3, 3), out(7, 5, 3, 1);
    fill(in, 0.0f, 1.0f, 9);
    Attrs a = valid_attrs("apply_gain_map");
    a.item("points_v").value.i32 = 0;  // fails in the kernel checks, after the copy
    EXPECT_EQ(call("apply_gain_map", in.view(), out.view(), a), 1);
    EXPECT_TRUE(out.same_pixels(in));
    EXPECT_TRUE(in.guards_intact() && out.guards_intact());

    Image<uint8_t> b_in(3, 4, 2, 5), b_out(3, 4, 2);
    for (uint64_t y = 0; y < 3; ++y)
        for (uint64_t i = 0; i < 8; ++i) b_in.row(y)[i] = uint8_t(10 * y + i);
    EXPECT_EQ(call("fix_vignette", b_in.view(), b_out.view(), valid_attrs("fix_vignette")), 2);
    EXPECT_TRUE(b_out.same_pixels(b_in));
    EXPECT_TRUE(b_out.guards_intact());
}

TEST(CopyStep, WidthZeroFailsEveryCopyingOpcode) {
    for (const char* op : {"apply_profile_gain_table_map", "fix_vignette", "apply_gain_map", "apply_gain_map_cfa",
                           "apply_flat_gain_map", "map_polynomial"}) {
        FImage in(3, 0, valid_channels(op)), out(3, 0, valid_channels(op));
        EXPECT_EQ(call(op, in.view(), out.view(), valid_attrs(op)), 1) << op;
    }
}

TEST(CopyStep, SameMemoryKeepsThePixels) {
    FImage im(4, 4, 1, 2), ref(4, 4, 1, 2);
    fill(im, 0.0f, 1.0f, 5);
    fill(ref, 0.0f, 1.0f, 5);
    Attrs a = valid_attrs("apply_flat_gain_map");
    a.item("gain_map").value.ptr = nullptr;  // kernel check fails after the copy
    EXPECT_EQ(call("apply_flat_gain_map", im.view(), im.view(), a), 1);
    EXPECT_TRUE(im.same_pixels(ref));
}

}  // namespace
