// The opcode library's interface: lookup and version, the parameter schema
// check, the two image check schemes and the copy step.
#include <algorithm>

#include "opcodes/schema.hpp"
#include "test_opcode_support.hpp"

using namespace opcode_test;

namespace {

const std::vector<std::string> kOps = {
    "apply_profile_gain_table_map", "fix_vignette", "warp_rectilinear", "apply_gain_map",
    "apply_gain_map_cfa", "apply_flat_gain_map", "map_polynomial", "fix_bad_pixels_constant"};

TEST(OpcodeLookup, NamesVersionAndMisses) {
    std::vector<OpcodeFn> seen;
    for (const std::string& op : kOps) {
        const OpcodeFn fn = tarnimg_lookup_opcode(op.c_str());
        EXPECT_NE(fn, nullptr) << op;
        EXPECT_EQ(std::count(seen.begin(), seen.end(), fn), 0) << op;
        seen.push_back(fn);
    }
    for (const char* bad : {"Fix_vignette", "apply_gain", "apply_gain_map ", "", "pad"})
        EXPECT_EQ(tarnimg_lookup_opcode(bad), nullptr) << bad;
    EXPECT_EQ(tarnimg_lookup_opcode(nullptr), nullptr);
    EXPECT_STREQ(tarnimg_version(), "1.0.0");
}

// The valid call of an opcode, and the same call with one change to its list;
// a failing schema check must leave the output as it was.
struct Call {
    std::string op;
    FImage fin, fout, fsent;
    U16Image uin{5, 6, 1, 2}, uout{5, 6, 1, 1}, usent{5, 6, 1, 1};
    explicit Call(std::string o)
        : op(std::move(o)), fin(5, 6, valid_channels(op), 2), fout(5, 6, valid_channels(op), 1),
          fsent(5, 6, valid_channels(op), 1) {
        fill(fin, 0, 1, 3), fill(fout, 2, 3, 4), fill(fsent, 2, 3, 4);
        fill(uin, 100, 900, 5), fill(uout, 1, 9, 6), fill(usent, 1, 9, 6);
    }
    bool u16() const { return op == "fix_bad_pixels_constant"; }
    int32_t run(const Attrs& a) {
        const ImageView in = u16() ? uin.view() : fin.view(), out = u16() ? uout.view() : fout.view();
        return tarnimg_lookup_opcode(op.c_str())(&in, 1, &out, 1, a.size() ? a.data() : nullptr, a.size());
    }
    bool untouched() { return u16() ? uout.same_pixels(usent) : fout.same_pixels(fsent); }
};

class OpcodeSchema : public ::testing::TestWithParam<std::string> {};

TEST_P(OpcodeSchema, EveryRowIsRequiredTypedAndCounted) {
    Call c(GetParam());
    const Attrs valid = valid_attrs(GetParam());
    EXPECT_EQ(c.run(Attrs{}), 1);  // null items, count 0
    for (uint64_t i = 0; i < valid.size(); ++i) {
        const std::string name = valid.data()[i].name;
        EXPECT_EQ(c.run(valid.without(name)), 1) << name;
        Attrs typed = valid;
        typed.item(name).type = typed.item(name).type == TARNIMG_ATTR_INT32 ? TARNIMG_ATTR_FLOAT32 : TARNIMG_ATTR_INT32;
        EXPECT_EQ(c.run(typed), 1) << name;
        Attrs counted = valid;
        counted.item(name).count = counted.item(name).type >= TARNIMG_ATTR_INT32_ARRAY ? 0 : 2;
        EXPECT_EQ(c.run(counted), 1) << name;
    }
    EXPECT_TRUE(c.untouched());
    // Only the first item of a name counts; items without a name are skipped.
    AttrItem nameless{}, wrong = valid.data()[0];
    nameless.type = 99, wrong.type = 0;
    Attrs later = valid;
    later.front(nameless);
    EXPECT_EQ(c.run(later), 0);
    Attrs shadowed = valid;
    shadowed.front(wrong);
    EXPECT_EQ(c.run(shadowed), 1);
    EXPECT_TRUE(c.fin.guards_intact() && c.fout.guards_intact() && c.uout.guards_intact());
}

INSTANTIATE_TEST_SUITE_P(AllOpcodes, OpcodeSchema, ::testing::ValuesIn(kOps));

TEST(OpcodeSchemaRows, FixedCountsOptionalRowsAndStrings) {
    Call table("apply_profile_gain_table_map"), warp("warp_rectilinear");
    for (uint64_t n : {4u, 6u}) {
        Attrs a = valid_attrs(table.op);
        a.item("weights").count = n;
        EXPECT_EQ(table.run(a), 1) << n;
    }
    EXPECT_EQ(warp.run(valid_attrs(warp.op).f32s("tangential_params", {0, 0, 0, 0, 0, 0})), 1);
    EXPECT_EQ(warp.run(valid_attrs(warp.op).f64s("tangential_params", {0, 0, 0, 0, 0, 0})), 0);

    const tarnimg::ParamSpec rows[] = {{"label", TARNIMG_ATTR_STRING, 1, 0}, {"opt", TARNIMG_ATTR_INT32, 1, 1}};
    const AttrItem* slots[2];
    AttrItem s{"label", TARNIMG_ATTR_STRING, 1, {}};
    for (const char* text : {static_cast<const char*>(nullptr), ""}) {
        s.value.ptr = text;
        EXPECT_EQ(tarnimg::check_schema(rows, &s, 1, slots), 1u);
    }
    s.value.ptr = "x";
    ASSERT_EQ(tarnimg::check_schema(rows, &s, 1, slots), 0u);
    EXPECT_TRUE(slots[0] == &s && slots[1] == nullptr);
}

using Spoil = void (*)(ImageView&);
struct ViewFault {
    bool output;
    Spoil spoil;
    int32_t status;
};
const ViewFault kViewFaults[] = {
    {false, [](ImageView& v) { v.data = nullptr; }, 1},      {true, [](ImageView& v) { v.dtype = 7; }, 1},
    {false, [](ImageView& v) { v.row_stride -= 4; }, 1},     {true, [](ImageView& v) { v.row_stride += 2; }, 1},
    {false, [](ImageView& v) { v.dtype = 1; }, 2},           {true, [](ImageView& v) { v.dtype = 0; }, 2},
    {false, [](ImageView& v) { v.channels = 2, v.width = 1; }, 3}, {true, [](ImageView& v) { v.height = 3; }, 3},
};

class SchemeA : public ::testing::TestWithParam<std::string> {};

TEST_P(SchemeA, ViewFaultsGiveTheirStatusAndLeaveTheOutput) {
    const std::string op = GetParam();
    const Attrs a = valid_attrs(op);
    const OpcodeFn fn = tarnimg_lookup_opcode(op.c_str());
    FImage in(4, 4, valid_channels(op)), out(4, 4, valid_channels(op)), sent(4, 4, valid_channels(op));
    fill(in);
    for (const ViewFault& k : kViewFaults) {
        ImageView vi = in.view(), vo = out.view();
        k.spoil(k.output ? vo : vi);
        EXPECT_EQ(fn(&vi, 1, &vo, 1, a.data(), a.size()), k.status);
        EXPECT_TRUE(out.same_pixels(sent));
    }
    // Only the first view of each list is read.
    ImageView ins[2] = {in.view(), ImageView{}}, outs[2] = {out.view(), ImageView{}};
    EXPECT_EQ(fn(ins, 2, outs, 2, a.data(), a.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(GainOpcodes, SchemeA,
                         ::testing::Values("apply_profile_gain_table_map", "apply_gain_map", "apply_gain_map_cfa",
                                           "apply_flat_gain_map"));

class SchemeB : public ::testing::TestWithParam<std::string> {};

TEST_P(SchemeB, CountsAndShapes) {
    Call c(GetParam());
    const Attrs a = valid_attrs(c.op);
    const OpcodeFn fn = tarnimg_lookup_opcode(c.op.c_str());
    ImageView ins[2] = {c.u16() ? c.uin.view() : c.fin.view()}, outs[2] = {c.u16() ? c.uout.view() : c.fout.view()};
    ins[1] = ins[0], outs[1] = outs[0];
    EXPECT_EQ(fn(ins, 2, outs, 1, a.data(), a.size()), 1);
    EXPECT_EQ(fn(ins, 1, outs, 0, a.data(), a.size()), 1);
    outs[0].height = 4;
    EXPECT_EQ(fn(ins, 1, outs, 1, a.data(), a.size()), 3);
    outs[0].height = 5, outs[0].channels = 2, outs[0].width = 1;
    EXPECT_EQ(fn(ins, 1, outs, 1, a.data(), a.size()), 3);
    EXPECT_TRUE(c.untouched());
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
    EXPECT_EQ(call("map_polynomial", u3.view(), f3.view(), valid_attrs("map_polynomial")), 3);
    EXPECT_EQ(call("warp_rectilinear", u3.view(), u3.view(), valid_attrs("warp_rectilinear")), 2);
    FImage f2(4, 4, 2), f2b(4, 4, 2);  // map_polynomial takes 1 or 3 channels only
    EXPECT_EQ(call("map_polynomial", f2.view(), f2b.view(), valid_attrs("map_polynomial")), 1);
}

TEST(CopyStep, PaddedRowsUint8AndWidthZero) {
    FImage in(7, 5, 3, 3), out(7, 5, 3, 1);
    fill(in, 0, 1, 9);
    Attrs a = valid_attrs("apply_gain_map");
    a.item("points_v").value.i32 = 0;  // fails in the kernel checks, after the copy
    EXPECT_EQ(call("apply_gain_map", in.view(), out.view(), a), 1);
    EXPECT_TRUE(out.same_pixels(in));
    Image<uint8_t> b_in(3, 4, 2, 5), b_out(3, 4, 2);
    fill(b_in, 0, 255);
    EXPECT_EQ(call("fix_vignette", b_in.view(), b_out.view(), valid_attrs("fix_vignette")), 2);
    EXPECT_TRUE(b_out.same_pixels(b_in));
    a.item("gain_values").value.ptr = nullptr;
    EXPECT_EQ(call("apply_gain_map", out.view(), out.view(), a), 1);  // same memory stays as it is
    EXPECT_TRUE(out.same_pixels(in));
    for (const std::string& op : kOps) {
        if (op == "warp_rectilinear" || op == "fix_bad_pixels_constant") continue;
        FImage none(3, 0, valid_channels(op));
        EXPECT_EQ(call(op, none.view(), none.view(), valid_attrs(op)), 1) << op;
    }
}

}  // namespace
