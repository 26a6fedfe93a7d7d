#include "engine/fft.h"

#include <cmath>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>

#include "engine/fft_passes.h"
#include "engine/fft_size.h"
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

// One run of rotations, the m-th of angle m * step for m = 1 .. count: cosine m at
// table[cos_at + (m-1) * stride], sine m at table[sin_at + (m-1) * stride].
struct TwiddleRun {
    size_t cos_at, sin_at;
    int stride, count;
    float step;
};

// Rotations first .. last-1 of a run. The multiplier m is a float counted up from 0 by ones,
// exact up to 2^24, so a part of a run that starts from (float)first gives the same bits as
// the whole run counted from its start.
static void fill_twiddle_pairs(float* table, const TwiddleRun& run, int first, int last)
{
    float* c = table + run.cos_at + (size_t)run.stride * (size_t)first;
    float* s = table + run.sin_at + (size_t)run.stride * (size_t)first;
    float fi = (float)first;
    for (int m = first; m < last; m++) {
        fi += 1.0f;
        const float arg = fi * run.step;
        *c = cosf(arg);
        *s = sinf(arg);
        c += run.stride;
        s += run.stride;
    }
}

// The rotations of a large plan cost more to compute than a transform of its size: they are
// shared out over the cores in equal slices of pairs, each pair computed by the same
// expression as on one thread.
static void fill_twiddles(float* wa, const std::vector<TwiddleRun>& runs)
{
    long long total = 0;
    int longest = 0;
    for (const TwiddleRun& r : runs) {
        total += r.count;
        longest = std::max(longest, r.count);
    }
    const long long min_slice = 1 << 16;
    unsigned cores = std::thread::hardware_concurrency();
    int workers = (int)std::min<long long>({(long long)std::max(1u, cores), 16, total / min_slice});
    if (workers <= 1 || longest > (1 << 24)) {
        for (const TwiddleRun& r : runs)
            fill_twiddle_pairs(wa, r, 0, r.count);
        return;
    }
    // Worker w takes pairs [total*w/workers, total*(w+1)/workers) of the runs laid end to end.
    auto slice = [&](int w) {
        const long long from = total * w / workers, to = total * (w + 1) / workers;
        long long base = 0;
        for (const TwiddleRun& r : runs) {
            const long long lo = std::max(from, base), hi = std::min(to, base + r.count);
            if (lo < hi)
                fill_twiddle_pairs(wa, r, (int)(lo - base), (int)(hi - base));
            base += r.count;
        }
    };
    std::vector<std::thread> threads;
    for (int w = 1; w < workers; w++)
        threads.emplace_back(slice, w);
    slice(0);
    for (std::thread& t : threads)
        t.join();
}

static void chirp_plan_build(FftPlan& plan);
// Largest size for which the chirp is used: the convolution's size must stay an int.
static const int chirp_max_size = 1 << 28;

std::shared_ptr<const FftPlan> fft_plan_build(int n)
{
    if (n < 1)
        return nullptr;
    auto plan = std::make_shared<FftPlan>();
    plan->n = n;
    plan->lanes = fft_radix_passes_eight_lane() ? 8 : 4;
    if (largest_prime_factor(n) > fft_chirp_min_prime && n <= chirp_max_size) {
        chirp_plan_build(*plan);
        return plan;
    }
    if (n == 1)
        return plan;
    plan->factors = fft_factorise(n);
    const int nf = (int)plan->factors.size();
    plan->stage_offset.assign((size_t)nf, 0);
    const bool general = *std::max_element(plan->factors.begin(), plan->factors.end()) > 5;

    // Pass s with l1 (product of the earlier factors) and ido = n / (l1 * ip) has, for
    // j = 1 .. ip-1, the rotations e^(i * m * j*l1 * 2pi/n), m = 1 .. (ido-1)/2. The general
    // pass reads them as (cos, sin) pairs from the second value of each run of ido in the
    // table `twiddles`, which only plans with a factor above 5 keep; the radix 2 to 5 passes
    // read them from `split`, per j the cosines, then the sines. Both are filled by the same
    // expression, so they hold the same bits.
    const float argh = 6.2831855f / (float)n;
    std::vector<TwiddleRun> pair_runs, split_runs;
    int is = 0, l1 = 1;
    size_t split_size = 0;
    for (int s = 0; s < nf; s++) {
        const int ip = plan->factors[(size_t)s];
        const int l2 = l1 * ip;
        const int ido = n / l2;
        const int half = (ido - 1) / 2;
        plan->stage_offset[(size_t)s] = is;
        plan->split_offset.push_back((int)split_size);
        if (s == nf - 1)
            break;  // the last pass has ido = 1 and needs no rotations
        int ld = 0;
        for (int j = 1; j < ip; j++) {
            ld += l1;
            const float step = (float)ld * argh;
            if (half > 0) {
                if (general)
                    pair_runs.push_back({(size_t)is, (size_t)is + 1, 2, half, step});
                if (ip <= 5)
                    split_runs.push_back({split_size, split_size + (size_t)half, 1, half, step});
            }
            if (ip <= 5)
                split_size += 2 * (size_t)half;
            is += ido;
        }
        l1 = l2;
    }
    if (general) {
        resize_with_huge_pages(plan->twiddles, (size_t)n);
        fill_twiddles(plan->twiddles.data(), pair_runs);
    }
    resize_with_huge_pages(plan->split, split_size);
    fill_twiddles(plan->split.data(), split_runs);
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
        // Only plans with a general pass keep the paired table.
        const float* wa = p.twiddles.empty() ? nullptr : p.twiddles.data() + p.stage_offset[(size_t)kh];
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
        // Only plans with a general pass keep the paired table.
        const float* wa = p.twiddles.empty() ? nullptr : p.twiddles.data() + p.stage_offset[(size_t)k1];
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

// Slot 0 serves real_fft_with_plan, slot 1 the chirp convolution that runs inside it.
template <int Slot>
struct Scratch {
    float* data = nullptr;
    bool owned = false;
    explicit Scratch(size_t need)
    {
        thread_local std::unique_ptr<float[], FreeFloats> kept;
        thread_local size_t kept_size = 0;
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

// Sizes with a large prime factor. With jk = (j^2 + k^2 - (k-j)^2) / 2 and the chirp
// w_m = e^(i pi m^2 / n), X_k = conj(w_k) * sum_j (x_j conj(w_j)) w_(k-j): a convolution with
// the chirp, computed by transforms of a 2-3-5 size. The real and imaginary parts of the
// convolved sequence are two real sequences, so the real passes do all the work. Only
// k = 0 .. n/2 are wanted (the rest are conjugates), so the kernel holds w_m for
// m = -(n-1) .. n/2, and a circular convolution of size >= n + n/2 keeps those apart. The
// backward transform sums that half of the spectrum against the conjugate chirp; its kernel
// is the forward one reversed and conjugated, whose spectra are the forward ones conjugated
// (real part) and conjugated and negated (imaginary part).

static void chirp_plan_build(FftPlan& plan)
{
    const int n = plan.n;
    const int size = next_smooth_size(n + n / 2);
    plan.chirp_plan = fft_plan_build(size);
    const FftPlan& conv = *plan.chirp_plan;

    // The angle pi m^2 / n taken with m^2 reduced modulo 2n, in double precision, so every
    // value is rounded once however large m is.
    resize_with_huge_pages(plan.chirp, 2 * (size_t)n);
    resize_with_huge_pages(plan.kernel_re, (size_t)size);
    resize_with_huge_pages(plan.kernel_im, (size_t)size);
    for (int m = 0; m < n; m++) {
        const long long r = (long long)m * m % (2LL * n);
        const double a = M_PI * (double)r / (double)n;
        const double c = cos(a), s = sin(a);
        plan.chirp[2 * (size_t)m] = (float)c;
        plan.chirp[2 * (size_t)m + 1] = (float)s;
        // The unscaled transforms of the convolution multiply by its size; the kernel
        // divides by it.
        const float kc = (float)(c / size), ks = (float)(s / size);
        if (m <= n / 2) {
            plan.kernel_re[(size_t)m] = kc;
            plan.kernel_im[(size_t)m] = ks;
        }
        if (m > 0) {
            plan.kernel_re[(size_t)(size - m)] = kc;
            plan.kernel_im[(size_t)(size - m)] = ks;
        }
    }
    std::vector<float> work((size_t)size);
    forward_passes(conv, plan.kernel_re.data(), work.data());
    forward_passes(conv, plan.kernel_im.data(), work.data());
}

// The complex convolution on the spectra of its real part (p) and imaginary part (q), in
// interleaved order: the real part's spectrum P K_re - Q K_im goes to h, the imaginary
// part's P K_im + Q K_re over q. With `backward` the kernel is the reversed conjugate one:
// K_re conjugated, K_im conjugated and negated.
static void chirp_multiply(const FftPlan& plan, const float* p, float* q, float* h, bool backward)
{
    const int L = plan.chirp_plan->n;
    const float* e = plan.kernel_re.data();
    const float* f = plan.kernel_im.data();
    const float se = backward ? -1.0f : 1.0f;  // sign of K_re's imaginary parts
    const float sf = backward ? -1.0f : 1.0f;  // sign of K_im's real parts
    {
        const float er = e[0], fr = sf * f[0], pr = p[0], qr = q[0];
        h[0] = pr * er - qr * fr;
        q[0] = pr * fr + qr * er;
    }
    for (int i = 1; i + 1 < L; i += 2) {
        const float er = e[i], ei = se * e[i + 1];
        const float fr = sf * f[i], fi = f[i + 1];
        const float pr = p[i], pi = p[i + 1], qr = q[i], qi = q[i + 1];
        h[i] = (pr * er - pi * ei) - (qr * fr - qi * fi);
        h[i + 1] = (pr * ei + pi * er) - (qr * fi + qi * fr);
        q[i] = (pr * fr - pi * fi) + (qr * er - qi * ei);
        q[i + 1] = (pr * fi + pi * fr) + (qr * ei + qi * er);
    }
    if (L % 2 == 0) {
        const int i = L - 1;
        const float er = e[i], fr = sf * f[i], pr = p[i], qr = q[i];
        h[i] = pr * er - qr * fr;
        q[i] = pr * fr + qr * er;
    }
}

// Convolves the sequence (p + i q) of the convolution's size with the kernel, in place of
// p and q as they come; returns the real and imaginary parts of the result.
static void chirp_convolve(const FftPlan& plan, float* p, float* q, float* t, bool backward,
                           const float** re, const float** im)
{
    const FftPlan& conv = *plan.chirp_plan;
    forward_passes(conv, p, t);
    forward_passes(conv, q, t);
    chirp_multiply(plan, p, q, t, backward);
    float* real = backward_passes(conv, t, p);
    float* spare = real == t ? p : t;
    *im = backward_passes(conv, q, spare);
    *re = real;
}

// The unscaled forward spectrum of x, in interleaved order, into r (which may be x).
static void chirp_forward(const FftPlan& plan, const float* x, float* r)
{
    const int n = plan.n, L = plan.chirp_plan->n;
    const float* w = plan.chirp.data();
    Scratch<1> work(3 * (size_t)L);
    float* p = work.data;
    float* q = p + L;
    float* t = q + L;
    for (int j = 0; j < n; j++) {
        p[j] = x[j] * w[2 * j];
        q[j] = -(x[j] * w[2 * j + 1]);
    }
    std::fill(p + n, p + L, 0.0f);
    std::fill(q + n, q + L, 0.0f);
    const float *re, *im;
    chirp_convolve(plan, p, q, t, false, &re, &im);
    r[0] = re[0];  // w_0 = 1
    for (int k = 1; 2 * k < n; k++) {
        const float wr = w[2 * k], wi = w[2 * k + 1];
        r[2 * k - 1] = re[k] * wr + im[k] * wi;
        r[2 * k] = im[k] * wr - re[k] * wi;
    }
    if (n % 2 == 0) {
        const int k = n / 2;
        r[n - 1] = re[k] * w[2 * k] + im[k] * w[2 * k + 1];
    }
}

// The unscaled backward transform of the halfcomplex spectrum h into y (which may be h).
static void chirp_backward(const FftPlan& plan, const float* h, float* y)
{
    const int n = plan.n, L = plan.chirp_plan->n, half = n / 2;
    const float* w = plan.chirp.data();
    Scratch<1> work(3 * (size_t)L);
    float* p = work.data;
    float* q = p + L;
    float* t = q + L;
    // x_j = Re(w_j * sum_k d_k X_k w_k conj(w_(j-k))) over k = 0 .. n/2, where d_k = 2
    // counts the conjugate bin n-k, except for the real bins 0 and n/2.
    p[0] = h[0];
    q[0] = 0.0f;
    for (int k = 1; 2 * k < n; k++) {
        const float wr = w[2 * k], wi = w[2 * k + 1], xr = h[k], xi = h[n - k];
        p[k] = 2.0f * (xr * wr - xi * wi);
        q[k] = 2.0f * (xr * wi + xi * wr);
    }
    if (n % 2 == 0) {
        p[half] = h[half] * w[2 * half];
        q[half] = h[half] * w[2 * half + 1];
    }
    std::fill(p + half + 1, p + L, 0.0f);
    std::fill(q + half + 1, q + L, 0.0f);
    const float *re, *im;
    chirp_convolve(plan, p, q, t, true, &re, &im);
    for (int j = 0; j < n; j++)
        y[j] = re[j] * w[2 * j] - im[j] * w[2 * j + 1];
}

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
    if (plan.chirp_plan) {
        if (direction == FFT_FORWARD) {
            if (in != out) {
                chirp_forward(plan, in, in);
                interleaved_to_halfcomplex(in, out, n, scale);
            } else {
                Scratch<0> tmp((size_t)n);
                chirp_forward(plan, in, tmp.data);
                interleaved_to_halfcomplex(tmp.data, out, n, scale);
            }
        } else {
            chirp_backward(plan, in, out);
            for (int i = 0; i < n; i++)
                out[i] *= scale;
        }
        return;
    }
    if (direction == FFT_FORWARD) {
        if (in != out) {
            // out is free until the re-layout, so it serves as the work array.
            forward_passes(plan, in, out);
            interleaved_to_halfcomplex(in, out, n, scale);
        } else {
            Scratch<0> tmp((size_t)n);
            memcpy(tmp.data, in, sizeof(float) * (size_t)n);
            forward_passes(plan, tmp.data, out);
            interleaved_to_halfcomplex(tmp.data, out, n, scale);
        }
        return;
    }
    Scratch<0> tmp((size_t)n);
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

// Recently used plans, shared between threads; each thread also remembers the plan of its
// last call, which spares the lock for runs of transforms of one size. The count allows for
// the sixty-odd band lengths of one analysis at the default geometry, so that analysing
// again rebuilds none of them, nor the large plan of the whole sound; the float budget
// bounds the memory.
static const size_t cache_max_plans = 128;
static const size_t cache_max_floats = (size_t)1 << 24;

static std::mutex cache_lock;
static std::vector<std::shared_ptr<const FftPlan>> cache_plans;  // most recent first

static size_t plan_floats(const FftPlan& p)
{
    size_t floats = p.twiddles.size() + p.split.size() + p.chirp.size() + p.kernel_re.size() +
                    p.kernel_im.size();
    return p.chirp_plan ? floats + plan_floats(*p.chirp_plan) : floats;
}

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
        total += plan_floats(*cache_plans[keep]);
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
