// Builds the prepared fixed-point map (with its wrap row) and, from it, the
// colour tables that the table routines interpolate.
#include <cmath>
#include <new>
#include <stdexcept>

#include "core/checked.hpp"
#include "kernels/hsv/hsv_color.hpp"
#include "kernels/hsv/hsv_tables.hpp"

namespace pyxa {

int16_t to_fixed(float x) {
    if (x != x) return 0;
    x = x > -32768.0f ? x : -32768.0f;
    x = x < 32767.0f ? x : 32767.0f;
    return static_cast<int16_t>(std::round(x));
}

namespace {

// Resizes a table, turning a failed allocation into OUT_OF_MEMORY.
Status allocate(std::vector<int16_t>* v, uint64_t count) {
    try {
        v->assign(count, 0);
    } catch (const std::bad_alloc&) {
        return OUT_OF_MEMORY;
    } catch (const std::length_error&) {
        return OUT_OF_MEMORY;
    }
    return OK;
}

// The colour of entry (i, j) of a face: the face's channel is 1, the other two
// follow the axes in channel order.
void face_colour(int face, float a, float b, float rgb[3]) {
    const int c1 = face == 0 ? 1 : 0;
    const int c2 = face == 2 ? 1 : 2;
    rgb[face] = 1.0f;
    rgb[c1] = a;
    rgb[c2] = b;
}

}  // namespace

Status prepare_hsv_map(const std::vector<float>& map_data, int32_t hue_divs, int32_t sat_divs, int32_t val_divs,
                       HueSatMapParams* params) {
    const int64_t rows = static_cast<int64_t>(hue_divs) + 1;
    uint64_t count = 0;
    if (!checked_mul(static_cast<uint64_t>(rows) * static_cast<uint64_t>(sat_divs), static_cast<uint64_t>(val_divs),
                     &count) ||
        !checked_mul(count, 4, &count))
        return OUT_OF_MEMORY;
    PYXA_TRY(allocate(&params->data, count));
    int16_t* out = params->data.data();
    for (int64_t v = 0; v < val_divs; ++v) {
        for (int64_t h = 0; h < rows; ++h) {
            const int64_t src_row = h == hue_divs ? 0 : h;  // the wrap row repeats row 0
            const float* src = map_data.data() + ((v * hue_divs + src_row) * sat_divs) * 3;
            for (int64_t s = 0; s < sat_divs; ++s, src += 3, out += 4) {
                out[0] = to_fixed(src[0] / 60.0f * kHsvUnit);
                out[1] = to_fixed(src[1] * kHsvUnit);
                out[2] = to_fixed(src[2] * kHsvUnit);
                out[3] = 0;
            }
        }
    }
    params->hue_size = hue_divs;
    params->sat_size = sat_divs;
    params->val_size = val_divs;
    return OK;
}

Status build_hsv_table(HueSatMapParams* params, int32_t n) {
    const int32_t hues = params->hue_size, sats = params->sat_size, vals = params->val_size;
    const uint64_t slab = (static_cast<uint64_t>(hues) + 1) * static_cast<uint64_t>(sats) * 4;
    uint64_t count = 0;
    if (!checked_mul(3ull * n * n, static_cast<uint64_t>(vals) * 4, &count)) return OUT_OF_MEMORY;
    std::vector<int16_t> table;
    PYXA_TRY(allocate(&table, count));
    const float hf = hue_factor(hues);
    const float step = 1.0f / static_cast<float>(n - 1);
    int16_t* out = table.data();
    for (int face = 0; face < 3; ++face) {
        for (int32_t i = 0; i < n; ++i) {
            for (int32_t j = 0; j < n; ++j) {
                float rgb[3];
                face_colour(face, static_cast<float>(i) * step, static_cast<float>(j) * step, rgb);
                const Hsv c = rgb_to_hsv(rgb[0], rgb[1], rgb[2]);
                const float u = hf * c.hue, o = c.sat * static_cast<float>(sats - 1);
                const int32_t hi = cell_index(u, hues - 1), si = cell_index(o, sats - 2);
                for (int32_t l = 0; l < vals; ++l, out += 4) {
                    MapPoint m = map_bilinear(params->data.data() + l * slab, sats, hi, u - static_cast<float>(hi), si,
                                              o - static_cast<float>(si));
                    const float val_scale = m.val_scale;
                    m.val_scale = 1.0f;  // chroma is stored at value 1
                    float ch[3];
                    adjust_to_rgb(Hsv{c.hue, c.sat, 1.0f}, m, ch);
                    for (int k = 0; k < 3; ++k) out[k] = to_fixed(ch[k] * kHsvUnit);
                    out[3] = to_fixed(val_scale * kHsvUnit);
                }
            }
        }
    }
    params->data = std::move(table);
    params->hue_size = n;
    params->sat_size = n;
    return OK;
}

}  // namespace pyxa
