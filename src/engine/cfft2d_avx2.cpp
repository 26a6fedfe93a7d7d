// The single-precision 2-D complex FFT built for AVX2, chosen at run time where the processor
// has it (the same test as the real FFT's eight-lane passes). The build keeps
// -ffp-contract=off, so no multiply-add is fused and every lane rounds as in the generic build.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include "engine/cfft2d.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#ifdef __clang__
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "engine/cfft_passes.h"

static void transform_avx2(const Cfft2dPlan& p, float* c, int ldim, float scale, int backward, float* scratch,
                           float* odd)
{
    if (backward)
        transform_2d<float, 1>(p, c, ldim, scale, scratch, odd);
    else
        transform_2d<float, -1>(p, c, ldim, scale, scratch, odd);
}

#ifdef __clang__
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

bool cfft2d_float_wide(const Cfft2dPlan& p, float* c, int ldim, float scale, int backward, float* scratch,
                       float* odd)
{
    transform_avx2(p, c, ldim, scale, backward, scratch, odd);
    return true;
}

#else

bool cfft2d_float_wide(const Cfft2dPlan&, float*, int, float, int, float*, float*)
{
    return false;
}

#endif
