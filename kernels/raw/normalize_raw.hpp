// Raw normalisation: parameters and the six typed routines (uint16 and float32
// input, each in a fast mosaic, fast three-sample and general variant).
#pragma once

#include <cstdint>
#include <vector>

#include "core/views.hpp"
#include "core/isa.hpp"

namespace pyxa {

enum class RawVariant : uint8_t { FastMosaic, FastThreeSample, General };

struct NormalizeRawParams;
// Normalises in.len pixels of `in` into `out` (in.len × samples floats).
using NormalizeRawRoutine = void (*)(const NormalizeRawParams& p, const SpanView& in, float* out);

struct NormalizeRawParams {
    std::vector<float> levels;  // black, white, delta_h, delta_v, one after another
    const float* black = nullptr;
    uint64_t n_black = 0;
    const float* white = nullptr;
    uint64_t n_white = 0;
    const float* delta_h = nullptr;  // null when absent
    uint64_t n_delta_h = 0;
    const float* delta_v = nullptr;  // null when absent
    uint64_t n_delta_v = 0;
    uint64_t rows = 0, cols = 0, samples = 0;
    std::vector<uint16_t> linearization;  // empty when absent
    float fast_black[4] = {};
    float fast_scale[4] = {};
    std::vector<float> white_by_sample;  // white[j mod n_white] for each sample j
    int32_t in_dtype = 0;
    NormalizeRawRoutine routine = nullptr;
};

// The routine for an input dtype (UINT16 or FLOAT32) and variant; null otherwise.
NormalizeRawRoutine pick_normalize_raw(int32_t in_dtype, RawVariant variant, Isa isa = best_isa());

// The span step: checks the spans against the parameters once and runs the routine.
void normalize_raw_span(void* ctx, const SpanView* rows, const SpanView* out);

}  // namespace pyxa
