// Two-dimensional complex FFT for layer convolution on the processor, in the structure of the
// FFTPACK5 complex family: an initialisation that fills the tables of both dimensions (cfft2i),
// a forward transform scaled by 1/(width × height) (cfft2f) and an unscaled backward transform
// with the opposite sign of the exponent (cfft2b), so that forward then backward returns the
// input.
//
// Data are interleaved complex values (re, im), row-major: `height` rows of `width` values,
// consecutive rows `ldim` complex values apart. Forward:
//   X[v][u] = 1/(width*height) * sum_{y,x} c[y][x] e^(-2 pi i (u x / width + v y / height)).
#pragma once
#include <memory>
#include <vector>

// The tables of one dimension: the radix of every pass and the rotations that follow each
// butterfly, (cos, sin) of 2 pi i m l1 / n for pass s at [stage_offset[s] + (m-1) ido + i].
struct CfftDimension {
    int n = 0;
    std::vector<int> factors;
    std::vector<int> stage_offset;
    std::vector<float> cos_f, sin_f;
    std::vector<double> cos_d, sin_d;
};

struct Cfft2dPlan {
    int width = 0, height = 0;  // transform lengths along a row and along a column
    int element_size = 0;       // bytes of one real component: 4 (float) or 8 (double)
    // Single precision on a processor with AVX2: the passes run in their AVX2 build, whose
    // results equal the generic build's to the bit.
    bool wide = false;
    CfftDimension rows, columns;
};

// Error codes of the cfft2 routines; 0 is success.
enum : int {
    cfft_error_size = 1,          // a length below 1, or more values than a picture may have
    cfft_error_element_size = 2,  // element size other than 4 or 8, or not the plan's
    cfft_error_ldim = 3,          // row distance shorter than a row
};

// Fills `plan` for width × height transforms of the given element size; returns an error code.
int cfft2i(int width, int height, int element_size, Cfft2dPlan& plan);
// A plan for width × height, or null after logging
// "cfft2i_() returned %d in cfft_2D_create_plan()\n" when the initialisation fails.
std::unique_ptr<Cfft2dPlan> cfft_2D_create_plan(int width, int height, int element_size);

// In-place transforms; return an error code (and leave `c` unchanged) when the call does not
// fit the plan. Lines that hold only zeros are not transformed: their transform is zero.
int cfft2f(const Cfft2dPlan& plan, float* c, int ldim);
int cfft2b(const Cfft2dPlan& plan, float* c, int ldim);
int cfft2f(const Cfft2dPlan& plan, double* c, int ldim);
int cfft2b(const Cfft2dPlan& plan, double* c, int ldim);
