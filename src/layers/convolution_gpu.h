// The GPU backend of layer convolution: two-dimensional single-precision complex transforms
// with clFFT on the OpenCL device chosen at the first use. Every failing call prints
// "%s failed (err %d: %s)\n" with a label naming the call and its caller, the status and its
// name, and abandons the rest of its step.
#pragma once
#include "support/opencl_loader.h"

// What the GPU keeps between transforms of one size: the baked plan, the device buffer of
// width × height interleaved complex floats and the temporary buffer the plan asked for.
struct ClfftPlan {
    clfftPlanHandle handle = 0;
    bool made = false;  // `handle` names a live plan
    int width = 0, height = 0;
    cl_mem buffer = nullptr;
    cl_mem tmpbuf = nullptr;
};

// Initialises the OpenCL context on the first call and answers whether the GPU path may be
// used. The environment variable SONOGRAPHICA_OPENCL picks the device: "0" turns the GPU path
// off, "cpu" accepts an OpenCL device that runs on the processor, a number n >= 1 takes the n-th
// device of the machine. A failed initialisation prints "init_cl_context failed (err %d: %s)\n"
// once; the answer is then no for the rest of the run.
bool gpu_available();
// The context gpu_available created; null when the GPU path is not available.
const ClContext* gpu_context();
// Marks the GPU path failed for the rest of the run and frees its plan and buffers (after a
// transform failed: the backend that failed once is not trusted again).
void gpu_mark_failed();
// Releases the plan, the buffers, clFFT and the context, and forgets the outcome of the
// initialisation, so that the next gpu_available starts afresh (end of the run; tests).
void gpu_shutdown();

// clFFT set-up once (on) or its teardown (off). Returns false after a failing clfftSetup.
bool clfft_setup(bool on);
// Creates and bakes a two-dimensional plan of width × height for the context's queue (forward
// scaled by 1/(width × height), backward unscaled), its temporary buffer and its data buffer.
// Returns false when a step failed; what was made is recorded in `plan` for clfft_release_plan.
bool clfft_make_plan_2d(const ClContext& c, ClfftPlan& plan, int width, int height, clfftPrecision precision,
                        clfftLayout in_layout, clfftLayout out_layout, clfftResultLocation location);
// Makes `plan.tmpbuf` as large as the plan asks, keeping a buffer that already has that size.
bool clfft_create_tmpbuf(const ClContext& c, ClfftPlan& plan);
// Transforms `data` (width × height interleaved complex floats) in place on the device, the plan
// being rebuilt first when its size differs. Returns false when a step failed; `data` may then
// hold anything.
bool clfft_2d(const ClContext& c, ClfftPlan& plan, float* data, int width, int height, int backward);
// Frees the plan's buffers and destroys the clFFT plan.
void clfft_release_plan(ClfftPlan& plan);

// The backend's own transform with its cached plan (rebuilt when the size changes). False when
// the GPU path is not available or the transform failed; the failure is printed by the call
// that failed and the GPU path is then marked failed.
bool gpu_fft_2d(float* data, int width, int height, int backward);
