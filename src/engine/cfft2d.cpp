// The tables and the entry points of the 2-D complex FFT; the passes are in cfft_passes.h.
#include "engine/cfft2d.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/cfft_passes.h"
#include "engine/fft.h"
#include "engine/fft_passes.h"
#include "engine/image.h"
#include "support/log.h"

// The AVX2 build of the single-precision transform (cfft2d_avx2.cpp); false where it was not
// built, and then the generic build runs.
bool cfft2d_float_wide(const Cfft2dPlan& p, float* c, int ldim, float scale, int backward, float* scratch,
                       float* odd);

namespace {

void fill_dimension(CfftDimension& d, int n)
{
    d.n = n;
    d.factors = n > 1 ? fft_factorise(n) : std::vector<int>();
    d.stage_offset.assign(d.factors.size(), 0);
    d.cos_f.clear();
    d.sin_f.clear();
    d.cos_d.clear();
    d.sin_d.clear();
    // Rotations in double precision, rounded once: the 2-D transform chains two dimensions of
    // passes, and the tables cost nothing next to the transforms that use them.
    int l1 = 1;
    for (size_t s = 0; s < d.factors.size(); s++) {
        const int ip = d.factors[s];
        const int ido = n / (l1 * ip);
        d.stage_offset[s] = (int)d.cos_d.size();
        for (int m = 1; m < ip; m++)
            for (int i = 0; i < ido; i++) {
                const long long turn = ((long long)i * m * l1) % n;
                const double angle = 6.283185307179586476925 * (double)turn / (double)n;
                d.cos_d.push_back(cos(angle));
                d.sin_d.push_back(sin(angle));
            }
        l1 *= ip;
    }
    d.cos_f.assign(d.cos_d.begin(), d.cos_d.end());
    d.sin_f.assign(d.sin_d.begin(), d.sin_d.end());
}

template <typename T>
int check_call(const Cfft2dPlan& p, const T* c, int ldim)
{
    if (p.element_size != (int)sizeof(T))
        return cfft_error_element_size;
    if (p.width < 1 || p.height < 1 || !c)
        return cfft_error_size;
    if (ldim < p.width)
        return cfft_error_ldim;
    return 0;
}

template <typename T>
int run(const Cfft2dPlan& p, T* c, int ldim, int backward)
{
    if (int e = check_call(p, c, ldim))
        return e;
    const T scale = backward ? (T)1 : (T)(1.0 / ((double)p.width * (double)p.height));
    int largest = 0;
    for (const CfftDimension* d : {&p.rows, &p.columns})
        for (int f : d->factors)
            largest = std::max(largest, f);
    std::vector<T> scratch((size_t)4 * lanes * std::max(p.width, p.height));
    std::vector<T> odd(odd_scratch_size(largest));
    if constexpr (sizeof(T) == sizeof(float))
        if (p.wide && cfft2d_float_wide(p, c, ldim, scale, backward, scratch.data(), odd.data()))
            return 0;
    if (backward)
        transform_2d<T, 1>(p, c, ldim, scale, scratch.data(), odd.data());
    else
        transform_2d<T, -1>(p, c, ldim, scale, scratch.data(), odd.data());
    return 0;
}

}  // namespace

int cfft2i(int width, int height, int element_size, Cfft2dPlan& plan)
{
    if (width < 1 || height < 1 || (long long)width * height > picture_max_pixels * 4)
        return cfft_error_size;
    if (element_size != 4 && element_size != 8)
        return cfft_error_element_size;
    plan.width = width;
    plan.height = height;
    plan.element_size = element_size;
    plan.wide = element_size == 4 && fft_radix_passes_eight_lane() != nullptr;
    fill_dimension(plan.rows, width);
    fill_dimension(plan.columns, height);
    return 0;
}

std::unique_ptr<Cfft2dPlan> cfft_2D_create_plan(int width, int height, int element_size)
{
    auto plan = std::make_unique<Cfft2dPlan>();
    const int ier = cfft2i(width, height, element_size, *plan);
    if (ier != 0) {
        log_printf(stderr, "cfft2i_() returned %d in cfft_2D_create_plan()\n", ier);
        return nullptr;
    }
    return plan;
}

int cfft2f(const Cfft2dPlan& plan, float* c, int ldim) { return run(plan, c, ldim, 0); }
int cfft2b(const Cfft2dPlan& plan, float* c, int ldim) { return run(plan, c, ldim, 1); }
int cfft2f(const Cfft2dPlan& plan, double* c, int ldim) { return run(plan, c, ldim, 0); }
int cfft2b(const Cfft2dPlan& plan, double* c, int ldim) { return run(plan, c, ldim, 1); }
