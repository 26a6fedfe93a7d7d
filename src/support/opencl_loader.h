// GPU plumbing: OpenCL and clFFT are loaded with dlopen when first needed, so that the program
// runs on machines that have neither (every computation then stays on the processor). The
// headers give the types and signatures only; nothing links against the libraries.
#pragma once
#define CL_TARGET_OPENCL_VERSION 120
#include <CL/cl.h>
#include <CL/cl_ext.h>
#include <clFFT.h>

// The OpenCL entry points the program uses, resolved from "libOpenCL.so.1".
struct OpenclApi {
    decltype(&clGetPlatformIDs) GetPlatformIDs;
    decltype(&clGetPlatformInfo) GetPlatformInfo;
    decltype(&clGetDeviceIDs) GetDeviceIDs;
    decltype(&clGetDeviceInfo) GetDeviceInfo;
    decltype(&clCreateContext) CreateContext;
    decltype(&clReleaseContext) ReleaseContext;
    decltype(&clCreateCommandQueue) CreateCommandQueue;
    decltype(&clReleaseCommandQueue) ReleaseCommandQueue;
    decltype(&clCreateBuffer) CreateBuffer;
    decltype(&clReleaseMemObject) ReleaseMemObject;
    decltype(&clGetMemObjectInfo) GetMemObjectInfo;
    decltype(&clEnqueueWriteBuffer) EnqueueWriteBuffer;
    decltype(&clEnqueueReadBuffer) EnqueueReadBuffer;
    decltype(&clFinish) Finish;
};

// The clFFT entry points, resolved from "libclFFT.so.2".
struct ClfftApi {
    decltype(&clfftSetup) Setup;
    decltype(&clfftTeardown) Teardown;
    decltype(&clfftCreateDefaultPlan) CreateDefaultPlan;
    decltype(&clfftSetPlanPrecision) SetPlanPrecision;
    decltype(&clfftSetLayout) SetLayout;
    decltype(&clfftSetResultLocation) SetResultLocation;
    decltype(&clfftSetPlanScale) SetPlanScale;
    decltype(&clfftBakePlan) BakePlan;
    decltype(&clfftGetTmpBufSize) GetTmpBufSize;
    decltype(&clfftEnqueueTransform) EnqueueTransform;
    decltype(&clfftDestroyPlan) DestroyPlan;
};

// Loaded on the first call (thread-safe); null when the library or one of its entry points is
// missing. The libraries stay loaded for the rest of the run.
const OpenclApi* opencl_api();
const ClfftApi* clfft_api();

// "CL_OUT_OF_RESOURCES" and the like for an OpenCL (or clFFT) status; "Unknown OpenCL error"
// for any other value.
const char* cl_error_name(int err);

// Which device init_cl_context takes. Automatic: the first GPU of any platform, else the first
// device of another kind that is not a processor, or any device at all when `allow_cpu` is set
// (an OpenCL runtime that runs kernels on the processor gains nothing over the native code).
// A `device_number` of n >= 1 takes the n-th device of the machine, counting every device of
// every platform in order, of any kind.
struct ClDeviceChoice {
    bool allow_cpu = false;
    int device_number = 0;
};

// A context and its one command queue on the chosen device.
struct ClContext {
    cl_platform_id platform = nullptr;
    cl_device_id device = nullptr;
    cl_context context = nullptr;
    cl_command_queue queue = nullptr;
};

// Creates the context and queue; returns CL_SUCCESS or the error (CL_PLATFORM_NOT_FOUND_KHR when
// the libraries are absent or there is no platform, CL_DEVICE_NOT_FOUND when no device suits,
// CL_INVALID_DEVICE when `device_number` names no device). Prints nothing; on failure `out` is
// left empty.
cl_int init_cl_context(ClContext& out, const ClDeviceChoice& choice);
void release_cl_context(ClContext& c);
// The device's name, for the one progress line that says where convolutions run.
void cl_device_name(const ClContext& c, char* name, size_t size);
