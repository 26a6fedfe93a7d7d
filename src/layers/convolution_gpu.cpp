#include "layers/convolution_gpu.h"

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "support/log.h"

namespace {

enum : int { gpu_untried = 0, gpu_ready = 1, gpu_failed = 2 };

// Guards the initialisation, the shutdown and the backend's own plan.
std::mutex gpu_lock;
std::atomic<int> gpu_state{gpu_untried};
ClContext context;
ClfftPlan backend_plan;
std::atomic<bool> clfft_ready{false};
bool exit_hook_set = false;

bool report(const char* label, int err)
{
    if (err == CL_SUCCESS)
        return true;
    log_printf(stderr, "%s failed (err %d: %s)\n", label, err, cl_error_name(err));
    return false;
}

// SONOGRAPHICA_OPENCL: unset or empty is the automatic choice; "0" turns the path off.
ClDeviceChoice choice_from_environment(bool& disabled)
{
    ClDeviceChoice choice;
    disabled = false;
    const char* v = getenv("SONOGRAPHICA_OPENCL");
    if (!v || !*v)
        return choice;
    if (strcmp(v, "0") == 0) {
        disabled = true;
    } else if (strcasecmp(v, "cpu") == 0) {
        choice.allow_cpu = true;
    } else {
        char* end = nullptr;
        long n = strtol(v, &end, 10);
        if (end && *end == 0 && n >= 1 && n <= 1 << 20)
            choice.device_number = (int)n;
        else
            log_printf(stderr, "Warning: SONOGRAPHICA_OPENCL \"%s\" not understood, the device is chosen automatically\n",
                       v);
    }
    return choice;
}

// The plan minus its temporary buffer, which a plan of another size may reuse.
void release_plan_keeping_tmpbuf(ClfftPlan& plan)
{
    const OpenclApi* cl = opencl_api();
    const ClfftApi* f = clfft_api();
    if (plan.buffer && cl)
        report("clReleaseMemObject (in clfft_release_plan)", cl->ReleaseMemObject(plan.buffer));
    if (plan.made && f)
        report("clfftDestroyPlan (in clfft_release_plan)", f->DestroyPlan(&plan.handle));
    cl_mem keep = plan.tmpbuf;
    plan = ClfftPlan();
    plan.tmpbuf = keep;
}

void release_all_locked()
{
    clfft_release_plan(backend_plan);
    clfft_setup(false);
    release_cl_context(context);
}

}  // namespace

bool gpu_available()
{
    const int state = gpu_state.load();
    if (state != gpu_untried)
        return state == gpu_ready;
    std::lock_guard<std::mutex> hold(gpu_lock);
    if (gpu_state.load() != gpu_untried)
        return gpu_state.load() == gpu_ready;
    bool disabled = false;
    const ClDeviceChoice choice = choice_from_environment(disabled);
    if (disabled) {
        gpu_state = gpu_failed;
        return false;
    }
    const cl_int err = init_cl_context(context, choice);
    if (err != CL_SUCCESS) {
        report("init_cl_context", err);
        gpu_state = gpu_failed;
        return false;
    }
    char name[256];
    cl_device_name(context, name, sizeof name);
    log_printf(stdout, "Layer convolution runs on the OpenCL device \"%s\"\n", name);
    // clFFT complains at exit about plans that were never torn down; this runs before its own
    // clean-up because it is registered after the library was loaded.
    if (!exit_hook_set) {
        exit_hook_set = true;
        atexit(gpu_shutdown);
    }
    gpu_state = gpu_ready;
    return true;
}

const ClContext* gpu_context()
{
    return gpu_state.load() == gpu_ready ? &context : nullptr;
}

void gpu_mark_failed()
{
    std::lock_guard<std::mutex> hold(gpu_lock);
    clfft_release_plan(backend_plan);
    gpu_state = gpu_failed;
}

void gpu_shutdown()
{
    std::lock_guard<std::mutex> hold(gpu_lock);
    if (gpu_state.load() == gpu_untried && !clfft_ready.load())
        return;
    release_all_locked();
    gpu_state = gpu_untried;
}

bool clfft_setup(bool on)
{
    const ClfftApi* f = clfft_api();
    if (!f)
        return false;
    if (!on) {
        if (clfft_ready.exchange(false))
            f->Teardown();
        return true;
    }
    if (clfft_ready.load())
        return true;
    clfftSetupData setup;
    memset(&setup, 0, sizeof setup);
    setup.major = 2;
    setup.minor = 12;
    setup.patch = 2;
    setup.debugFlags = 0;
    if (!report("clfftSetup (in clfft_setup)", f->Setup(&setup)))
        return false;
    clfft_ready = true;
    return true;
}

bool clfft_make_plan_2d(const ClContext& c, ClfftPlan& plan, int width, int height, clfftPrecision precision,
                        clfftLayout in_layout, clfftLayout out_layout, clfftResultLocation location)
{
    if (!clfft_setup(true))
        return false;
    const OpenclApi* cl = opencl_api();
    const ClfftApi* f = clfft_api();
    release_plan_keeping_tmpbuf(plan);
    if (width < 1 || height < 1 || !c.context || !c.queue)
        return report("clfftCreateDefaultPlan (in clfft_make_plan_2d)", CLFFT_INVALID_VALUE);

    size_t lengths[2] = {(size_t)width, (size_t)height};
    if (!report("clfftCreateDefaultPlan (in clfft_make_plan_2d)",
                f->CreateDefaultPlan(&plan.handle, c.context, CLFFT_2D, lengths)))
        return false;
    plan.made = true;
    if (!report("clfftSetPlanPrecision (in clfft_make_plan_2d)", f->SetPlanPrecision(plan.handle, precision)))
        return false;
    if (!report("clfftSetLayout (in clfft_make_plan_2d)", f->SetLayout(plan.handle, in_layout, out_layout)))
        return false;
    if (!report("clfftSetResultLocation (in clfft_make_plan_2d)", f->SetResultLocation(plan.handle, location)))
        return false;
    const cl_float forward_scale = (cl_float)(1.0 / ((double)width * (double)height));
    if (!report("clfftSetPlanScale (in clfft_make_plan_2d)", f->SetPlanScale(plan.handle, CLFFT_FORWARD, forward_scale)))
        return false;
    if (!report("clfftSetPlanScale (in clfft_make_plan_2d)", f->SetPlanScale(plan.handle, CLFFT_BACKWARD, 1.0f)))
        return false;
    cl_command_queue queue = c.queue;
    if (!report("clfftBakePlan (in clfft_make_plan_2d)", f->BakePlan(plan.handle, 1, &queue, nullptr, nullptr)))
        return false;
    if (!clfft_create_tmpbuf(c, plan))
        return false;
    plan.width = width;
    plan.height = height;
    const size_t element = precision == CLFFT_DOUBLE || precision == CLFFT_DOUBLE_FAST ? 8 : 4;
    cl_int err = CL_SUCCESS;
    plan.buffer = cl->CreateBuffer(c.context, CL_MEM_READ_WRITE, (size_t)width * height * 2 * element, nullptr, &err);
    if (!plan.buffer && err == CL_SUCCESS)
        err = CL_MEM_OBJECT_ALLOCATION_FAILURE;
    if (!report("clCreateBuffer (in clfft_make_plan_2d)", err)) {
        plan.buffer = nullptr;
        return false;
    }
    return true;
}

bool clfft_create_tmpbuf(const ClContext& c, ClfftPlan& plan)
{
    const OpenclApi* cl = opencl_api();
    const ClfftApi* f = clfft_api();
    if (!cl || !f)
        return false;
    size_t need = 0;
    if (!report("clfftGetTmpBufSize (in clfft_create_tmpbuf)", f->GetTmpBufSize(plan.handle, &need)))
        return false;
    if (plan.tmpbuf) {
        size_t have = 0;
        if (!report("clGetMemObjectInfo (in clfft_create_tmpbuf)",
                    cl->GetMemObjectInfo(plan.tmpbuf, CL_MEM_SIZE, sizeof have, &have, nullptr)))
            return false;
        if (have == need)
            return true;
        const cl_int err = cl->ReleaseMemObject(plan.tmpbuf);
        plan.tmpbuf = nullptr;
        if (!report("clReleaseMemObject (in clfft_create_tmpbuf)", err))
            return false;
    }
    if (need == 0)
        return true;
    cl_int err = CL_SUCCESS;
    plan.tmpbuf = cl->CreateBuffer(c.context, CL_MEM_READ_WRITE, need, nullptr, &err);
    if (!plan.tmpbuf && err == CL_SUCCESS)
        err = CL_MEM_OBJECT_ALLOCATION_FAILURE;
    if (!report("clCreateBuffer (in clfft_create_tmpbuf)", err)) {
        plan.tmpbuf = nullptr;
        return false;
    }
    return true;
}

bool clfft_2d(const ClContext& c, ClfftPlan& plan, float* data, int width, int height, int backward)
{
    const OpenclApi* cl = opencl_api();
    const ClfftApi* f = clfft_api();
    if (!cl || !f || !data)
        return false;
    if (!plan.made || !plan.buffer || plan.width != width || plan.height != height) {
        if (!clfft_make_plan_2d(c, plan, width, height, CLFFT_SINGLE, CLFFT_COMPLEX_INTERLEAVED,
                                CLFFT_COMPLEX_INTERLEAVED, CLFFT_INPLACE))
            return false;
    }
    const size_t bytes = (size_t)width * height * 2 * sizeof(float);
    cl_command_queue queue = c.queue;
    // Blocking copies: once this returns, nothing on the device still reads or writes `data`.
    if (!report("clEnqueueWriteBuffer (in clfft_2d)",
                cl->EnqueueWriteBuffer(queue, plan.buffer, CL_TRUE, 0, bytes, data, 0, nullptr, nullptr)))
        return false;
    if (!report("clfftEnqueueTransform (in clfft_2d)",
                f->EnqueueTransform(plan.handle, backward ? CLFFT_BACKWARD : CLFFT_FORWARD, 1, &queue, 0, nullptr,
                                    nullptr, &plan.buffer, nullptr, plan.tmpbuf))) {
        cl->Finish(queue);
        return false;
    }
    if (!report("clEnqueueReadBuffer (in clfft_2d)",
                cl->EnqueueReadBuffer(queue, plan.buffer, CL_TRUE, 0, bytes, data, 0, nullptr, nullptr)))
        return false;
    return report("clFinish (in clfft_2d)", cl->Finish(queue));
}

void clfft_release_plan(ClfftPlan& plan)
{
    release_plan_keeping_tmpbuf(plan);
    const OpenclApi* cl = opencl_api();
    if (plan.tmpbuf && cl)
        report("clReleaseMemObject (in clfft_release_plan)", cl->ReleaseMemObject(plan.tmpbuf));
    plan = ClfftPlan();
}

bool gpu_fft_2d(float* data, int width, int height, int backward)
{
    if (!gpu_available())
        return false;
    std::lock_guard<std::mutex> hold(gpu_lock);
    if (gpu_state.load() != gpu_ready)
        return false;
    if (clfft_2d(context, backend_plan, data, width, height, backward))
        return true;
    clfft_release_plan(backend_plan);
    gpu_state = gpu_failed;
    return false;
}
