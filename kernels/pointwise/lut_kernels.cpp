// Table kernels of "lut" and "mono_lut": interpolating routines per type pair
// and direct routines indexing a 256-entry table by the byte of a uint8 input.
#include <type_traits>

#include "kernels/pointwise/block_lookup.hpp"
#include "kernels/pointwise/element_io.hpp"
#include "kernels/pointwise/pointwise_params.hpp"
#include "kernels/pointwise/pointwise_routines.hpp"
#include "kernels/pointwise/type_pairs.hpp"

namespace pyxa {
namespace {

template <typename In, typename Out>
struct LutInterp {
    static void run(void* ctx, const PixelRun* in, const PixelRun* out) {
        const LutParams& p = *static_cast<const LutParams*>(ctx);
        const uint64_t n = in->len * in->channels;
        const In* __restrict src = static_cast<const In*>(in->data);
        Out* __restrict dst = static_cast<Out*>(out->data);
        const float pos_scale = p.pos_scale;
        const float out_scale = p.out_scale;
        alignas(64) float v[kLookupBlock];
        for (uint64_t i0 = 0; i0 < n; i0 += kLookupBlock) {
            const uint64_t m = n - i0 < kLookupBlock ? n - i0 : kLookupBlock;
            const In* s = src + i0;
            const auto position = [=](uint64_t j) { return pos_scale * static_cast<float>(s[j]); };
            if constexpr (std::is_same_v<Out, float>) {
                Out* d = dst + i0;
                lookup_block(p.table.data(), p.table.last, m, position,
                             [=](uint64_t j, float x) { d[j] = out_scale * x; });
            } else {
                lookup_block(p.table.data(), p.table.last, m, position,
                             [&v, out_scale](uint64_t j, float x) { v[j] = out_scale * x; });
                store_block(v, m, dst + i0);
            }
        }
    }
};

// A byte's result depends on the byte alone: the 256 results are made once at
// resolution (make_direct_results), and each element is one load from them
// (half the time of scaling, clamping and converting every element).
template <typename Out>
void lut_direct(void* ctx, const PixelRun* in, const PixelRun* out) {
    const LutParams& p = *static_cast<const LutParams*>(ctx);
    const uint64_t n = in->len * in->channels;
    const uint8_t* __restrict src = static_cast<const uint8_t*>(in->data);
    Out* __restrict dst = static_cast<Out*>(out->data);
    const Out* results = reinterpret_cast<const Out*>(p.direct);
    for (uint64_t j = 0; j < n; ++j) dst[j] = results[src[j]];
}

// The element form of every byte: out_scale * table[k], then the store.
template <typename Out>
void direct_results(LutParams& p) {
    alignas(64) float v[256];
    for (uint64_t k = 0; k < 256; ++k) v[k] = p.out_scale * p.table.data()[k];
    store_block(v, 256, reinterpret_cast<Out*>(p.direct));
}

// One load and one store per element: no vector form, so one copy serves
// every instruction set.
constexpr PointwiseRun kDirect[3] = {lut_direct<uint8_t>, lut_direct<uint16_t>, lut_direct<float>};

}  // namespace

PointwiseRun lut_routine(int32_t in, int32_t out, bool direct, Isa isa) {
    if (!direct) return pick_type_pair(kTypePairs<LutInterp>, in, out, isa);
    const int o = pointwise_type_index(out);
    return (in != UINT8 || o < 0) ? nullptr : kDirect[o];
}

void make_direct_results(LutParams& p, int32_t out) {
    if (out == UINT8) direct_results<uint8_t>(p);
    else if (out == UINT16) direct_results<uint16_t>(p);
    else if (out == FLOAT32) direct_results<float>(p);
}

// Three float channels with input scale 1: position (n - 1) * x on every
// element, which is the float-to-float interpolating loop over all elements.
PointwiseRun lut_rgb_float_routine(Isa isa) { return routine_for<LutInterp<float, float>::run>(isa); }

}  // namespace pyxa
