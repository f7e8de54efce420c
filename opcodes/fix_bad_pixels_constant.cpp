// "fix_bad_pixels_constant": in a uint16 Bayer mosaic, samples equal to a
// known constant are replaced by the rounded mean of their nearest same-colour
// neighbours that are not defective. Neighbours are read from the input only.
#include <iterator>

#include "opcodes/bayer_phase.hpp"
#include "opcodes/entries.h"
#include "opcodes/float_math.hpp"
#include "opcodes/guard.hpp"
#include "opcodes/image_checks.hpp"
#include "opcodes/opcode_schemas.gen.hpp"
#include "opcodes/schema.hpp"

namespace tarnimg {
namespace {

Status check_bad_pixels(const ImageView& in, const ImageView& out) {
    if (in.data == nullptr || out.data == nullptr) return pyxa::INVALID_ARGUMENT;
    if (!stride_fits(in, 2) || !stride_fits(out, 2) || in.channels != 1 || out.channels != 1)
        return pyxa::INVALID_ARGUMENT;
    if (in.height != out.height || in.width != out.width) return pyxa::DIMENSION_MISMATCH;
    return pyxa::OK;
}

// The input rows around row y; rows outside the image are null. Every
// neighbour test is written as "index + offset < extent" so that a 1-row or
// 1-column image never computes an index below zero.
struct Window {
    const uint16_t* rows[5];  // y - 2 .. y + 2
};

struct Tally {
    uint32_t sum = 0, n = 0;
    uint16_t bad;
    void add(uint16_t v) {
        if (v != bad) {
            sum += v;
            ++n;
        }
    }
};

// Diagonal neighbours (same colour as the green sites of the other phase).
void tally_diagonal(const Window& w, uint64_t x, uint64_t width, Tally* t) {
    const bool left = x >= 1;
    const bool right = x + 1 < width;
    if (w.rows[1] != nullptr) {
        if (left) t->add(w.rows[1][x - 1]);
        if (right) t->add(w.rows[1][x + 1]);
    }
    if (w.rows[3] != nullptr) {
        if (left) t->add(w.rows[3][x - 1]);
        if (right) t->add(w.rows[3][x + 1]);
    }
}

// Neighbours two sites away in the same row or column.
void tally_straight(const Window& w, uint64_t x, uint64_t width, Tally* t) {
    if (w.rows[0] != nullptr) t->add(w.rows[0][x]);
    if (w.rows[4] != nullptr) t->add(w.rows[4][x]);
    if (x >= 2) t->add(w.rows[2][x - 2]);
    if (x + 2 < width) t->add(w.rows[2][x + 2]);
}

// The repaired value, or false when no neighbour is usable (the output keeps
// what it held).
bool repaired(const Tally& t, uint16_t* value) {
    if (t.n == 0) return false;
    if (t.n == 4) {
        *value = uint16_t((t.sum + 2) >> 2);
    } else {
        *value = uint16_t((t.sum + t.n / 2) / t.n);
    }
    return true;
}

void fix_row(const Window& w, uint16_t* __restrict out, uint64_t y, uint64_t width, uint16_t bad, uint32_t phase) {
    const uint16_t* in = w.rows[2];
    for (uint64_t x = 0; x < width; ++x) {
        if (in[x] != bad) {
            out[x] = in[x];
            continue;
        }
        Tally t;
        t.bad = bad;
        if (((phase + y + x) & 1u) != 0) {
            tally_straight(w, x, width, &t);
        } else {
            tally_diagonal(w, x, width, &t);
        }
        uint16_t v;
        if (repaired(t, &v)) out[x] = v;
    }
}

const uint16_t* input_row(const ImageView& in, uint64_t y, int64_t offset) {
    if (offset < 0 && y < uint64_t(-offset)) return nullptr;
    if (offset > 0 && y + uint64_t(offset) >= in.height) return nullptr;
    const uint64_t r = offset < 0 ? y - uint64_t(-offset) : y + uint64_t(offset);
    return reinterpret_cast<const uint16_t*>(static_cast<const unsigned char*>(in.data) + r * in.row_stride);
}

void fix_image(const ImageView& in, const ImageView& out, uint16_t bad, uint32_t phase) {
    auto* out_base = static_cast<unsigned char*>(out.data);
    for (uint64_t y = 0; y < in.height; ++y) {
        Window w;
        for (int64_t k = 0; k < 5; ++k) w.rows[k] = input_row(in, y, k - 2);
        fix_row(w, reinterpret_cast<uint16_t*>(out_base + y * out.row_stride), y, in.width, bad, phase);
    }
}

Status run(const ImageView* inputs, uint64_t input_count, const ImageView* outputs, uint64_t output_count,
           const AttrItem* items, uint64_t item_count) {
    const AttrItem* slots[std::size(schemas::fix_bad_pixels_constant)];
    PYXA_TRY(check_schema(schemas::fix_bad_pixels_constant, items, item_count, slots));
    PYXA_TRY(check_scheme_b(inputs, input_count, outputs, output_count, SchemeB::BadPixels));
    PYXA_TRY(check_bad_pixels(*inputs, *outputs));
    if (inputs->height == 0 || inputs->width == 0) return pyxa::OK;
    // Neighbour positions are index + 2; keep them far from the 64-bit limit.
    if (inputs->height > uint64_t(kFarPosition) || inputs->width > uint64_t(kFarPosition))
        return pyxa::INVALID_ARGUMENT;
    // Only the low 16 bits of the constant matter.
    const uint16_t bad = uint16_t(uint32_t(attr_i32(slots[0])));
    fix_image(*inputs, *outputs, bad, phase_parity(attr_i32(slots[1])));
    return pyxa::OK;
}

}  // namespace
}  // namespace tarnimg

extern "C" TARNIMG_OPCODE_ENTRY(tarnimg_fix_bad_pixels_constant) {
    return tarnimg::guarded([&] { return tarnimg::run(inputs, input_count, outputs, output_count, items, item_count); });
}
