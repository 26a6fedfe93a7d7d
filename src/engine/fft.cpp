#include "engine/fft.h"

#include <cmath>
#include <cstring>
#include <mutex>

#include "engine/fft_passes.h"
#include "support/alloc.h"
#include "support/log.h"

// Factors tried in the order 4, 2, 3, 5, then odd numbers; every factor is divided out as
// often as it goes. A 2 found after other factors moves to the front, so that the passes
// which handle an even ido (radix 2 and 4) are exactly those next to the data's ends.
std::vector<int> fft_factorise(int n)
{
    static const int first_tries[4] = {4, 2, 3, 5};
    std::vector<int> f;
    int rest = n, attempt = 0, trial = 0;
    while (rest != 1) {
        trial = attempt < 4 ? first_tries[attempt] : trial + 2;
        attempt++;
        while (rest % trial == 0) {
            rest /= trial;
            f.push_back(trial);
            if (trial == 2 && f.size() > 1) {
                f.pop_back();
                f.insert(f.begin(), 2);
            }
            if (rest == 1)
                break;
        }
    }
    return f;
}

std::shared_ptr<const FftPlan> fft_plan_build(int n)
{
    if (n < 1)
        return nullptr;
    auto plan = std::make_shared<FftPlan>();
    plan->n = n;
    plan->lanes = fft_radix_passes_eight_lane() ? 8 : 4;
    plan->twiddles.assign((size_t)n, 0.0f);
    if (n == 1)
        return plan;
    plan->factors = fft_factorise(n);
    const int nf = (int)plan->factors.size();
    plan->stage_offset.assign((size_t)nf, 0);

    // Pass s with l1 (product of the earlier factors) and ido = n / (l1 * ip) holds, for
    // j = 1 .. ip-1, the ido/2 rotations e^(i * m * j*l1 * 2pi/n), m = 1 .. (ido-1)/2,
    // as (cos, sin) pairs from the second value of each run of ido.
    const float argh = 6.2831855f / (float)n;
    float* wa = plan->twiddles.data();
    int is = 0, l1 = 1;
    for (int s = 0; s < nf; s++) {
        const int ip = plan->factors[(size_t)s];
        const int l2 = l1 * ip;
        const int ido = n / l2;
        plan->stage_offset[(size_t)s] = is;
        if (s == nf - 1)
            break;  // the last pass has ido = 1 and needs no rotations
        int ld = 0;
        for (int j = 1; j < ip; j++) {
            ld += l1;
            int i = is;
            const float argld = (float)ld * argh;
            float fi = 0.0f;
            for (int ii = 3; ii <= ido; ii += 2) {
                i += 2;
                fi += 1.0f;
                const float arg = fi * argld;
                wa[i - 2] = cosf(arg);
                wa[i - 1] = sinf(arg);
            }
            is += ido;
        }
        l1 = l2;
    }

    l1 = 1;
    for (int s = 0; s < nf; s++) {
        const int ip = plan->factors[(size_t)s];
        const int ido = n / (l1 * ip);
        const int half = (ido - 1) / 2;
        plan->split_offset.push_back((int)plan->split.size());
        if (ip <= 5)
            for (int j = 0; j < ip - 1; j++) {
                const float* run = wa + plan->stage_offset[(size_t)s] + (size_t)j * ido;
                for (int m = 1; m <= half; m++)
                    plan->split.push_back(run[2 * m - 2]);
                for (int m = 1; m <= half; m++)
                    plan->split.push_back(run[2 * m - 1]);
            }
        l1 *= ip;
    }
    return plan;
}

static const FftRadixPasses& radix_passes(const FftPlan& p)
{
    const FftRadixPasses* wide = p.lanes == 8 ? fft_radix_passes_eight_lane() : nullptr;
    return wide ? *wide : fft_radix_passes_four_lane();
}

// Forward passes over c with ch as the work array, last factor first; the result ends in c.
static void forward_passes(const FftPlan& p, float* c, float* ch)
{
    const fft_radix_pass* radf = radix_passes(p).forward;
    const int n = p.n;
    const int nf = (int)p.factors.size();
    int in_c = 1, l2 = n;
    for (int k1 = 1; k1 <= nf; k1++) {
        const int kh = nf - k1;
        const int ip = p.factors[(size_t)kh];
        const int l1 = l2 / ip;
        const int ido = n / l2;
        const float* wa = p.twiddles.data() + p.stage_offset[(size_t)kh];
        const float* tw = p.split.data() + p.split_offset[(size_t)kh];
        in_c = 1 - in_c;
        float* src = in_c ? ch : c;
        float* dst = in_c ? c : ch;
        switch (ip) {
        case 2:
        case 3:
        case 4:
        case 5: radf[ip - 2](ido, l1, src, dst, tw); break;
        default:
            // The general pass keeps its result where its input was, except that with
            // ido == 1 it reads from its work array.
            if (ido == 1)
                in_c = 1 - in_c;
            if (in_c == 0) {
                radfg(ido, ip, l1, c, ch, wa);
                in_c = 1;
            } else {
                radfg(ido, ip, l1, ch, c, wa);
                in_c = 0;
            }
            break;
        }
        l2 = l1;
    }
    if (!in_c)
        memcpy(c, ch, sizeof(float) * (size_t)n);
}

// Backward passes over c with ch as the work array, first factor first. Returns the array
// that holds the result (c or ch).
static float* backward_passes(const FftPlan& p, float* c, float* ch)
{
    const fft_radix_pass* radb = radix_passes(p).backward;
    const int n = p.n;
    const int nf = (int)p.factors.size();
    int in_ch = 0, l1 = 1;
    for (int k1 = 0; k1 < nf; k1++) {
        const int ip = p.factors[(size_t)k1];
        const int l2 = ip * l1;
        const int ido = n / l2;
        const float* wa = p.twiddles.data() + p.stage_offset[(size_t)k1];
        const float* tw = p.split.data() + p.split_offset[(size_t)k1];
        float* src = in_ch ? ch : c;
        float* dst = in_ch ? c : ch;
        switch (ip) {
        case 2:
        case 3:
        case 4:
        case 5:
            radb[ip - 2](ido, l1, src, dst, tw);
            in_ch = 1 - in_ch;
            break;
        default:
            radbg(ido, ip, l1, src, dst, wa);
            if (ido == 1)
                in_ch = 1 - in_ch;
            break;
        }
        l1 = l2;
    }
    return in_ch ? ch : c;
}

// Interleaved order (Re X0, Re X1, Im X1, ...) to halfcomplex, scaled.
static void interleaved_to_halfcomplex(const float* r, float* h, int n, float scale)
{
    h[0] = r[0] * scale;
    const int half = (n - 1) / 2;
    for (int k = 1; k <= half; k++) {
        h[k] = r[2 * k - 1] * scale;
        h[n - k] = r[2 * k] * scale;
    }
    if (n % 2 == 0)
        h[n / 2] = r[n - 1] * scale;
}

static void halfcomplex_to_interleaved(const float* h, float* r, int n)
{
    r[0] = h[0];
    const int half = (n - 1) / 2;
    for (int k = 1; k <= half; k++) {
        r[2 * k - 1] = h[k];
        r[2 * k] = h[n - k];
    }
    if (n % 2 == 0)
        r[n - 1] = h[n / 2];
}

// One temporary array of n floats per call. Small ones come from a per-thread block that
// is kept between calls; large ones are allocated and freed, so that idle threads do not
// hold on to the memory of a big transform.
static const size_t kept_scratch_floats = (size_t)1 << 20;

struct FreeFloats {
    void operator()(float* p) const { free(p); }
};

struct Scratch {
    float* data = nullptr;
    bool owned = false;
    explicit Scratch(int n)
    {
        thread_local std::unique_ptr<float[], FreeFloats> kept;
        thread_local size_t kept_size = 0;
        const size_t need = (size_t)n;
        if (need > kept_scratch_floats) {
            data = (float*)wrmalloc(need * sizeof(float));
            owned = true;
            return;
        }
        if (kept_size < need) {
            kept.reset((float*)wrmalloc(need * sizeof(float)));
            kept_size = need;
        }
        data = kept.get();
    }
    ~Scratch()
    {
        if (owned)
            free(data);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
};

void real_fft_with_plan(const FftPlan& plan, float* in, float* out, int direction)
{
    const int n = plan.n;
    if (n < 1)
        return;
    const float scale = 1.0f / sqrtf((float)n);
    if (n == 1) {
        out[0] = in[0] * scale;
        return;
    }
    if (direction == FFT_FORWARD) {
        if (in != out) {
            // out is free until the re-layout, so it serves as the work array.
            forward_passes(plan, in, out);
            interleaved_to_halfcomplex(in, out, n, scale);
        } else {
            Scratch tmp(n);
            memcpy(tmp.data, in, sizeof(float) * (size_t)n);
            forward_passes(plan, tmp.data, out);
            interleaved_to_halfcomplex(tmp.data, out, n, scale);
        }
        return;
    }
    Scratch tmp(n);
    float* result;
    if (in != out) {
        halfcomplex_to_interleaved(in, out, n);
        result = backward_passes(plan, out, tmp.data);
    } else {
        halfcomplex_to_interleaved(in, tmp.data, n);
        result = backward_passes(plan, tmp.data, out);
    }
    for (int i = 0; i < n; i++)
        out[i] = result[i] * scale;
}

// A few recently used plans, shared between threads; each thread also remembers the plan
// of its last call, which spares the lock for runs of transforms of one size.
static const size_t cache_max_plans = 8;
static const size_t cache_max_floats = (size_t)1 << 24;

static std::mutex cache_lock;
static std::vector<std::shared_ptr<const FftPlan>> cache_plans;  // most recent first

static std::shared_ptr<const FftPlan> cache_find(int n)
{
    for (size_t i = 0; i < cache_plans.size(); i++)
        if (cache_plans[i]->n == n) {
            auto plan = cache_plans[i];
            cache_plans.erase(cache_plans.begin() + (long)i);
            cache_plans.insert(cache_plans.begin(), plan);
            return plan;
        }
    return nullptr;
}

std::shared_ptr<const FftPlan> fft_plan_get(int n)
{
    if (n < 1)
        return nullptr;
    {
        std::lock_guard<std::mutex> hold(cache_lock);
        if (auto plan = cache_find(n))
            return plan;
    }
    // Built outside the lock: a large plan takes a while, and other sizes need not wait.
    auto built = fft_plan_build(n);
    std::lock_guard<std::mutex> hold(cache_lock);
    if (auto plan = cache_find(n))
        return plan;  // another thread was quicker; its plan is the same
    cache_plans.insert(cache_plans.begin(), built);
    size_t total = 0, keep = 0;
    while (keep < cache_plans.size()) {
        total += cache_plans[keep]->twiddles.size() + cache_plans[keep]->split.size();
        if (keep > 0 && (keep >= cache_max_plans || total > cache_max_floats))
            break;
        keep++;
    }
    cache_plans.resize(keep);
    return built;
}

void fft_plan_cache_clear()
{
    std::lock_guard<std::mutex> hold(cache_lock);
    cache_plans.clear();
}

void real_fft(float* in, float* out, int n, int direction)
{
    if (n < 1 || !in || !out) {
        if (n != 0)
            log_printf(stderr, "real_fft(): invalid size %d or array\n", n);
        return;
    }
    thread_local std::shared_ptr<const FftPlan> last;
    if (!last || last->n != n)
        last = fft_plan_get(n);
    real_fft_with_plan(*last, in, out, direction);
}
