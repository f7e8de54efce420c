// Raw normalisation routines: black subtraction by image position, optional
// deltas and linearization table, scaling by the white-black range, clamp.
#include "kernels/raw/normalize_raw.hpp"

#include <cstring>

#include "kernels/raw/unit_clamp.hpp"

namespace pyxa {
namespace {

// Non-negative remainder; positions may be negative.
uint64_t pos_mod(int64_t v, uint64_t m) {
    const int64_t r = static_cast<int64_t>(static_cast<__int128>(v) % static_cast<__int128>(m));
    return static_cast<uint64_t>(r < 0 ? r + static_cast<int64_t>(m) : r);
}

// Table index of a sample: uint16 samples as they are; float32 samples
// truncated toward zero, with NaN and values outside the 32-bit range taken as
// negative (index 0). The range test comes first: converting an out-of-range
// float to an integer is undefined.
inline uint64_t table_index(uint16_t v, uint64_t n) { return v < n ? v : n - 1; }
inline uint64_t table_index(float v, uint64_t n) {
    if (!(v >= -2147483648.0f && v < 2147483648.0f)) return 0;
    const int64_t t = static_cast<int64_t>(v);
    if (t < 0) return 0;
    return static_cast<uint64_t>(t) < n ? static_cast<uint64_t>(t) : n - 1;
}

template <class T>
void fast_mosaic(const NormalizeRawParams& p, const SpanView& in, float* __restrict out) {
    const T* __restrict s = static_cast<const T*>(in.data);
    const uint64_t site_row = 2 * pos_mod(in.y, 2), c0 = pos_mod(in.x0, 2);
    const float b0 = p.fast_black[site_row + c0], b1 = p.fast_black[site_row + (c0 ^ 1)];
    const float k0 = p.fast_scale[site_row + c0], k1 = p.fast_scale[site_row + (c0 ^ 1)];
    const uint64_t n = in.len;
    uint64_t i = 0;
    for (; i + 1 < n; i += 2) {
        out[i] = unit_clamp((static_cast<float>(s[i]) - b0) * k0);
        out[i + 1] = unit_clamp((static_cast<float>(s[i + 1]) - b1) * k1);
    }
    if (i < n) out[i] = unit_clamp((static_cast<float>(s[i]) - b0) * k0);
}

template <class T>
void fast_three(const NormalizeRawParams& p, const SpanView& in, float* __restrict out) {
    const T* __restrict s = static_cast<const T*>(in.data);
    const float b0 = p.fast_black[0], b1 = p.fast_black[1], b2 = p.fast_black[2];
    const float k0 = p.fast_scale[0], k1 = p.fast_scale[1], k2 = p.fast_scale[2];
    for (uint64_t i = 0; i < 3 * in.len; i += 3) {
        out[i] = unit_clamp((static_cast<float>(s[i]) - b0) * k0);
        out[i + 1] = unit_clamp((static_cast<float>(s[i + 1]) - b1) * k1);
        out[i + 2] = unit_clamp((static_cast<float>(s[i + 2]) - b2) * k2);
    }
}

template <class T>
void general(const NormalizeRawParams& p, const SpanView& in, float* __restrict out) {
    const T* __restrict s = static_cast<const T*>(in.data);
    const uint64_t spp = p.samples, cols = p.cols;
    const float* black_row = p.black + spp * cols * pos_mod(in.y, p.rows);
    const float dv = p.delta_v ? p.delta_v[pos_mod(in.y, p.n_delta_v)] : 0.0f;
    const uint16_t* lut = p.linearization.empty() ? nullptr : p.linearization.data();
    const uint64_t n_lut = p.linearization.size();
    uint64_t xc = pos_mod(in.x0, cols);                             // column within the black pattern
    uint64_t xh = p.delta_h ? pos_mod(in.x0, p.n_delta_h) : 0;      // column within delta_h
    for (uint64_t i = 0; i < in.len; ++i) {
        const float dh = p.delta_h ? p.delta_h[xh] : 0.0f;
        for (uint64_t j = 0; j < spp; ++j) {
            float black = black_row[spp * xc + j];
            if (p.delta_h) black = dh + black;
            if (p.delta_v) black = black + dv;
            const float range = p.white_by_sample[j] - black;
            const T raw = s[i * spp + j];
            const float v = lut ? static_cast<float>(lut[table_index(raw, n_lut)]) : static_cast<float>(raw);
            const float r = range > 0.0f ? (v - black) / range : 0.0f;
            out[i * spp + j] = unit_clamp(r);
        }
        xc = xc + 1 == cols ? 0 : xc + 1;
        if (p.delta_h) xh = xh + 1 == p.n_delta_h ? 0 : xh + 1;
    }
}

template <class T>
constexpr NormalizeRawRoutine (*kRoutines[3])(Isa) = {routine_for<fast_mosaic<T>>, routine_for<fast_three<T>>,
                                                  routine_for<general<T>>};

}  // namespace

NormalizeRawRoutine pick_normalize_raw(int32_t in_dtype, RawVariant variant, Isa isa) {
    const auto v = static_cast<size_t>(variant);
    if (v > 2) return nullptr;
    if (in_dtype == UINT16) return kRoutines<uint16_t>[v](isa);
    if (in_dtype == FLOAT32) return kRoutines<float>[v](isa);
    return nullptr;
}

void normalize_raw_span(void* ctx, const SpanView* rows, const SpanView* out) {
    if (ctx == nullptr || out == nullptr || out->data == nullptr) return;
    const NormalizeRawParams& p = *static_cast<const NormalizeRawParams*>(ctx);
    if (out->dtype != FLOAT32 || out->channels != p.samples) return;
    float* dst = static_cast<float*>(out->data);
    uint64_t done = 0;
    if (rows != nullptr && rows->data != nullptr && static_cast<int32_t>(rows->dtype) == p.in_dtype &&
        rows->channels == p.samples && p.routine != nullptr) {
        SpanView in = *rows;
        in.len = in.len < out->len ? in.len : out->len;  // never past either span
        p.routine(p, in, dst);
        done = in.len;
    }
    std::memset(dst + done * p.samples, 0, (out->len - done) * p.samples * sizeof(float));
}

}  // namespace pyxa
