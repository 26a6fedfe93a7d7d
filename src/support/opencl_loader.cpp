#include "support/opencl_loader.h"

#include <dlfcn.h>

#include <cstring>
#include <mutex>
#include <vector>

namespace {

template <typename F>
bool resolve(void* lib, const char* name, F& slot)
{
    slot = reinterpret_cast<F>(dlsym(lib, name));
    return slot != nullptr;
}

bool load_opencl(OpenclApi& a)
{
    void* lib = dlopen("libOpenCL.so.1", RTLD_NOW | RTLD_LOCAL);
    if (!lib)
        return false;
    bool ok = resolve(lib, "clGetPlatformIDs", a.GetPlatformIDs) &&
              resolve(lib, "clGetPlatformInfo", a.GetPlatformInfo) &&
              resolve(lib, "clGetDeviceIDs", a.GetDeviceIDs) && resolve(lib, "clGetDeviceInfo", a.GetDeviceInfo) &&
              resolve(lib, "clCreateContext", a.CreateContext) && resolve(lib, "clReleaseContext", a.ReleaseContext) &&
              resolve(lib, "clCreateCommandQueue", a.CreateCommandQueue) &&
              resolve(lib, "clReleaseCommandQueue", a.ReleaseCommandQueue) &&
              resolve(lib, "clCreateBuffer", a.CreateBuffer) &&
              resolve(lib, "clReleaseMemObject", a.ReleaseMemObject) &&
              resolve(lib, "clGetMemObjectInfo", a.GetMemObjectInfo) &&
              resolve(lib, "clEnqueueWriteBuffer", a.EnqueueWriteBuffer) &&
              resolve(lib, "clEnqueueReadBuffer", a.EnqueueReadBuffer) && resolve(lib, "clFinish", a.Finish);
    if (!ok)
        dlclose(lib);
    return ok;
}

bool load_clfft(ClfftApi& a)
{
    void* lib = dlopen("libclFFT.so.2", RTLD_NOW | RTLD_LOCAL);
    if (!lib)
        return false;
    bool ok = resolve(lib, "clfftSetup", a.Setup) && resolve(lib, "clfftTeardown", a.Teardown) &&
              resolve(lib, "clfftCreateDefaultPlan", a.CreateDefaultPlan) &&
              resolve(lib, "clfftSetPlanPrecision", a.SetPlanPrecision) &&
              resolve(lib, "clfftSetLayout", a.SetLayout) &&
              resolve(lib, "clfftSetResultLocation", a.SetResultLocation) &&
              resolve(lib, "clfftSetPlanScale", a.SetPlanScale) && resolve(lib, "clfftBakePlan", a.BakePlan) &&
              resolve(lib, "clfftGetTmpBufSize", a.GetTmpBufSize) &&
              resolve(lib, "clfftEnqueueTransform", a.EnqueueTransform) &&
              resolve(lib, "clfftDestroyPlan", a.DestroyPlan);
    if (!ok)
        dlclose(lib);
    return ok;
}

}  // namespace

const OpenclApi* opencl_api()
{
    static OpenclApi api;
    static const bool loaded = load_opencl(api);
    return loaded ? &api : nullptr;
}

const ClfftApi* clfft_api()
{
    static ClfftApi api;
    static const bool loaded = load_clfft(api);
    return loaded ? &api : nullptr;
}

const char* cl_error_name(int err)
{
    switch (err) {
    case 0: return "CL_SUCCESS";
    case -1: return "CL_DEVICE_NOT_FOUND";
    case -2: return "CL_DEVICE_NOT_AVAILABLE";
    case -3: return "CL_COMPILER_NOT_AVAILABLE";
    case -4: return "CL_MEM_OBJECT_ALLOCATION_FAILURE";
    case -5: return "CL_OUT_OF_RESOURCES";
    case -6: return "CL_OUT_OF_HOST_MEMORY";
    case -7: return "CL_PROFILING_INFO_NOT_AVAILABLE";
    case -8: return "CL_MEM_COPY_OVERLAP";
    case -9: return "CL_IMAGE_FORMAT_MISMATCH";
    case -10: return "CL_IMAGE_FORMAT_NOT_SUPPORTED";
    case -11: return "CL_BUILD_PROGRAM_FAILURE";
    case -12: return "CL_MAP_FAILURE";
    case -13: return "CL_MISALIGNED_SUB_BUFFER_OFFSET";
    case -14: return "CL_EXEC_STATUS_ERROR_FOR_EVENTS_IN_WAIT_LIST";
    case -15: return "CL_COMPILE_PROGRAM_FAILURE";
    case -16: return "CL_LINKER_NOT_AVAILABLE";
    case -17: return "CL_LINK_PROGRAM_FAILURE";
    case -18: return "CL_DEVICE_PARTITION_FAILED";
    case -19: return "CL_KERNEL_ARG_INFO_NOT_AVAILABLE";
    case -30: return "CL_INVALID_VALUE";
    case -31: return "CL_INVALID_DEVICE_TYPE";
    case -32: return "CL_INVALID_PLATFORM";
    case -33: return "CL_INVALID_DEVICE";
    case -34: return "CL_INVALID_CONTEXT";
    case -35: return "CL_INVALID_QUEUE_PROPERTIES";
    case -36: return "CL_INVALID_COMMAND_QUEUE";
    case -37: return "CL_INVALID_HOST_PTR";
    case -38: return "CL_INVALID_MEM_OBJECT";
    case -39: return "CL_INVALID_IMAGE_FORMAT_DESCRIPTOR";
    case -40: return "CL_INVALID_IMAGE_SIZE";
    case -41: return "CL_INVALID_SAMPLER";
    case -42: return "CL_INVALID_BINARY";
    case -43: return "CL_INVALID_BUILD_OPTIONS";
    case -44: return "CL_INVALID_PROGRAM";
    case -45: return "CL_INVALID_PROGRAM_EXECUTABLE";
    case -46: return "CL_INVALID_KERNEL_NAME";
    case -47: return "CL_INVALID_KERNEL_DEFINITION";
    case -48: return "CL_INVALID_KERNEL";
    case -49: return "CL_INVALID_ARG_INDEX";
    case -50: return "CL_INVALID_ARG_VALUE";
    case -51: return "CL_INVALID_ARG_SIZE";
    case -52: return "CL_INVALID_KERNEL_ARGS";
    case -53: return "CL_INVALID_WORK_DIMENSION";
    case -54: return "CL_INVALID_WORK_GROUP_SIZE";
    case -55: return "CL_INVALID_WORK_ITEM_SIZE";
    case -56: return "CL_INVALID_GLOBAL_OFFSET";
    case -57: return "CL_INVALID_EVENT_WAIT_LIST";
    case -58: return "CL_INVALID_EVENT";
    case -59: return "CL_INVALID_OPERATION";
    case -60: return "CL_INVALID_GL_OBJECT";
    case -61: return "CL_INVALID_BUFFER_SIZE";
    case -62: return "CL_INVALID_MIP_LEVEL";
    case -63: return "CL_INVALID_GLOBAL_WORK_SIZE";
    case -64: return "CL_INVALID_PROPERTY";
    case -65: return "CL_INVALID_IMAGE_DESCRIPTOR";
    case -66: return "CL_INVALID_COMPILER_OPTIONS";
    case -67: return "CL_INVALID_LINKER_OPTIONS";
    case -68: return "CL_INVALID_DEVICE_PARTITION_COUNT";
    case -69: return "CL_INVALID_PIPE_SIZE";
    case -70: return "CL_INVALID_DEVICE_QUEUE";
    case -1000: return "CL_INVALID_GL_SHAREGROUP_REFERENCE_KHR";
    case -1001: return "CL_PLATFORM_NOT_FOUND_KHR";
    // clFFT's own codes, beyond the OpenCL ones it shares.
    case CLFFT_BUGCHECK: return "CLFFT_BUGCHECK";
    case CLFFT_NOTIMPLEMENTED: return "CLFFT_NOTIMPLEMENTED";
    case CLFFT_TRANSPOSED_NOTIMPLEMENTED: return "CLFFT_TRANSPOSED_NOTIMPLEMENTED";
    case CLFFT_FILE_NOT_FOUND: return "CLFFT_FILE_NOT_FOUND";
    case CLFFT_FILE_CREATE_FAILURE: return "CLFFT_FILE_CREATE_FAILURE";
    case CLFFT_VERSION_MISMATCH: return "CLFFT_VERSION_MISMATCH";
    case CLFFT_INVALID_PLAN: return "CLFFT_INVALID_PLAN";
    case CLFFT_DEVICE_NO_DOUBLE: return "CLFFT_DEVICE_NO_DOUBLE";
    case CLFFT_DEVICE_MISMATCH: return "CLFFT_DEVICE_MISMATCH";
    default: return "Unknown OpenCL error";
    }
}

namespace {

struct DeviceEntry {
    cl_platform_id platform;
    cl_device_id device;
    cl_device_type type;
};

// Every device of every platform, in the order the runtime lists them.
cl_int list_devices(const OpenclApi& cl, std::vector<DeviceEntry>& out)
{
    cl_uint platform_count = 0;
    cl_int err = cl.GetPlatformIDs(0, nullptr, &platform_count);
    if (err != CL_SUCCESS)
        return err;
    if (platform_count == 0)
        return CL_PLATFORM_NOT_FOUND_KHR;
    std::vector<cl_platform_id> platforms(platform_count);
    err = cl.GetPlatformIDs(platform_count, platforms.data(), nullptr);
    if (err != CL_SUCCESS)
        return err;
    for (cl_platform_id p : platforms) {
        cl_uint count = 0;
        // A platform without devices answers CL_DEVICE_NOT_FOUND; it just adds none.
        if (cl.GetDeviceIDs(p, CL_DEVICE_TYPE_ALL, 0, nullptr, &count) != CL_SUCCESS || count == 0)
            continue;
        std::vector<cl_device_id> devices(count);
        if (cl.GetDeviceIDs(p, CL_DEVICE_TYPE_ALL, count, devices.data(), nullptr) != CL_SUCCESS)
            continue;
        for (cl_device_id d : devices) {
            cl_device_type type = 0;
            if (cl.GetDeviceInfo(d, CL_DEVICE_TYPE, sizeof type, &type, nullptr) != CL_SUCCESS)
                type = 0;
            out.push_back({p, d, type});
        }
    }
    return CL_SUCCESS;
}

}  // namespace

cl_int init_cl_context(ClContext& out, const ClDeviceChoice& choice)
{
    out = ClContext();
    const OpenclApi* cl = opencl_api();
    if (!cl || !clfft_api())
        return CL_PLATFORM_NOT_FOUND_KHR;
    std::vector<DeviceEntry> devices;
    cl_int err = list_devices(*cl, devices);
    if (err != CL_SUCCESS)
        return err;

    const DeviceEntry* pick = nullptr;
    if (choice.device_number > 0) {
        if ((size_t)choice.device_number > devices.size())
            return CL_INVALID_DEVICE;
        pick = &devices[(size_t)choice.device_number - 1];
    } else {
        for (const DeviceEntry& d : devices)
            if (d.type & CL_DEVICE_TYPE_GPU) {
                pick = &d;
                break;
            }
        if (!pick)
            for (const DeviceEntry& d : devices)
                if (choice.allow_cpu || !(d.type & CL_DEVICE_TYPE_CPU)) {
                    pick = &d;
                    break;
                }
        if (!pick)
            return CL_DEVICE_NOT_FOUND;
    }

    const cl_context_properties props[] = {CL_CONTEXT_PLATFORM, (cl_context_properties)pick->platform, 0};
    cl_context context = cl->CreateContext(props, 1, &pick->device, nullptr, nullptr, &err);
    if (!context || err != CL_SUCCESS)
        return err != CL_SUCCESS ? err : CL_INVALID_CONTEXT;
    cl_command_queue queue = cl->CreateCommandQueue(context, pick->device, 0, &err);
    if (!queue || err != CL_SUCCESS) {
        cl->ReleaseContext(context);
        return err != CL_SUCCESS ? err : CL_INVALID_COMMAND_QUEUE;
    }
    out.platform = pick->platform;
    out.device = pick->device;
    out.context = context;
    out.queue = queue;
    return CL_SUCCESS;
}

void release_cl_context(ClContext& c)
{
    const OpenclApi* cl = opencl_api();
    if (cl) {
        if (c.queue)
            cl->ReleaseCommandQueue(c.queue);
        if (c.context)
            cl->ReleaseContext(c.context);
    }
    c = ClContext();
}

void cl_device_name(const ClContext& c, char* name, size_t size)
{
    if (size == 0)
        return;
    name[0] = 0;
    const OpenclApi* cl = opencl_api();
    if (!cl || !c.device || cl->GetDeviceInfo(c.device, CL_DEVICE_NAME, size, name, nullptr) != CL_SUCCESS)
        name[0] = 0;
    name[size - 1] = 0;
}
