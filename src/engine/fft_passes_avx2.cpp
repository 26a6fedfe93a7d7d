// The radix 2 to 5 passes built for eight-lane AVX2 vectors, chosen at run time where the
// processor has AVX2. The build keeps -ffp-contract=off, so no multiply-add is fused and every
// lane rounds as the four-lane and one-value forms do.
#include "engine/fft_passes.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define FFT_EIGHT_LANES 1

#ifdef __clang__
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "engine/fft_radix.h"

static const FftRadixPasses* eight_lane_passes()
{
    static const FftRadixPasses passes = make_radix_passes<v8>();
    return &passes;
}

#ifdef __clang__
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

const FftRadixPasses* fft_radix_passes_eight_lane()
{
    // Nothing compiled for AVX2 runs unless the processor has it.
    static const FftRadixPasses* passes =
        __builtin_cpu_supports("avx2") ? eight_lane_passes() : nullptr;
    return passes;
}

#else

const FftRadixPasses* fft_radix_passes_eight_lane()
{
    return nullptr;
}

#endif
