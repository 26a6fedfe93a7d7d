#include "layers/convolution.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include <sys/mman.h>
#include <xxhash.h>

#include "engine/cfft2d.h"
#include "engine/fft_size.h"
#include "layers/convolution_gpu.h"
#include "support/alloc.h"
#include "support/log.h"

namespace {

enum : int { kind_spectrum = 1, kind_result = 2 };

struct FreeFloats {
    void operator()(float* p) const { free(p); }
};
using Buffer = std::unique_ptr<float[], FreeFloats>;

// A spectrum (kind 1, keyed by the picture's hash) or a convolution result (kind 2, keyed by the
// hashes of the layer and of the accumulated picture). The frame is part of the match: two
// pictures of different sizes may hash alike (all zeros, say) while their data differ in size.
struct CacheEntry {
    int kind = 0;
    uint64_t key1 = 0, key2 = 0;
    int width = 0, height = 0, fw = 0, fh = 0;
    bool used = false;
    Buffer data;  // empty slot when absent
    size_t floats = 0;
};

// A freed buffer kept until the next composite ends: editing one picture frees its old
// spectrum and needs a new one of the same size at every composite, and reusing the memory
// spares the page faults of fresh allocations of many megabytes.
struct Spare {
    size_t floats;
    Buffer data;
};

// Serialises convolutions: the cache and the processor plan are shared by every composite,
// whichever thread runs it.
std::mutex cache_lock;
std::vector<CacheEntry> cache;
std::vector<Spare> spares;
std::unique_ptr<Cfft2dPlan> cpu_plan;

std::atomic<bool> gpu_allowed{true};
std::atomic<long> cpu_forward_count{0}, cpu_backward_count{0}, gpu_forward_count{0}, gpu_backward_count{0};

// Frames beyond this many complex values (1 GiB per spectrum) are refused.
const long long max_frame_values = 1ll << 27;

CacheEntry* find_entry(int kind, uint64_t key1, uint64_t key2, int width, int height, int fw, int fh)
{
    for (CacheEntry& e : cache)
        if (e.data && e.kind == kind && e.key1 == key1 && e.key2 == key2 && e.width == width &&
            e.height == height && e.fw == fw && e.fh == fh)
            return &e;
    return nullptr;
}

Buffer take_buffer(size_t floats)
{
    for (size_t i = spares.size(); i-- > 0;)
        if (spares[i].floats == floats) {
            Buffer b = std::move(spares[i].data);
            spares.erase(spares.begin() + (long)i);
            return b;
        }
    const size_t bytes = sizeof(float) * floats;
    float* data = (float*)wrmalloc(bytes);
    // Frames run to tens of megabytes: huge pages turn thousands of page faults on first touch
    // into a few. Only the whole 2 MiB pages inside the block can be given.
    const uintptr_t huge = (uintptr_t)1 << 21;
    const uintptr_t start = ((uintptr_t)data + huge - 1) & ~(huge - 1), end = ((uintptr_t)data + bytes) & ~(huge - 1);
    if (end > start)
        madvise((void*)start, end - start, MADV_HUGEPAGE);
    return Buffer(data);
}

void keep_spare(Buffer data, size_t floats)
{
    spares.push_back({floats, std::move(data)});
}

// Takes the last empty slot, else grows the table; the new entry counts as used.
const float* insert_entry(int kind, uint64_t key1, uint64_t key2, int width, int height, int fw, int fh, Buffer data,
                          size_t floats)
{
    CacheEntry* slot = nullptr;
    for (size_t i = cache.size(); i-- > 0;)
        if (!cache[i].data) {
            slot = &cache[i];
            break;
        }
    if (!slot) {
        cache.emplace_back();
        slot = &cache.back();
    }
    slot->kind = kind;
    slot->key1 = key1;
    slot->key2 = key2;
    slot->width = width;
    slot->height = height;
    slot->fw = fw;
    slot->fh = fh;
    slot->used = true;
    slot->data = std::move(data);
    slot->floats = floats;
    return slot->data.get();
}

bool cpu_transform(float* data, int fw, int fh, int backward)
{
    if (!cpu_plan || cpu_plan->width != fw || cpu_plan->height != fh) {
        cpu_plan = cfft_2D_create_plan(fw, fh, 4);
        if (!cpu_plan)
            return false;
    }
    if ((backward ? cfft2b(*cpu_plan, data, fw) : cfft2f(*cpu_plan, data, fw)) != 0)
        return false;
    (backward ? cpu_backward_count : cpu_forward_count)++;
    return true;
}

// GPU when allowed and available, else the processor. When the GPU transform fails (its call
// has printed why, and the GPU path is off from then on) `data` may hold anything, so `refill`
// lays the input again before the processor takes over.
template <typename Refill>
bool transform(float* data, int fw, int fh, int backward, Refill refill)
{
    if (gpu_allowed.load() && gpu_available()) {
        if (gpu_fft_2d(data, fw, fh, backward)) {
            (backward ? gpu_backward_count : gpu_forward_count)++;
            return true;
        }
        refill(data);
    }
    return cpu_transform(data, fw, fh, backward);
}

// Pixels as real parts of the zeroed frame, at [row × fw + column].
void lay_image(float* frame, const Image image, int width, int height, int fw, int fh)
{
    memset(frame, 0, sizeof(float) * 2 * (size_t)fw * fh);
    for (int y = 0; y < height; y++) {
        const float* row = image[y];
        if (!row)
            continue;
        float* dst = frame + 2 * (size_t)y * fw;
        for (int x = 0; x < width; x++)
            dst[2 * x] = row[x];
    }
}

// A plain complex product, so that the backward transform gives a convolution, not a correlation.
void multiply_spectra(const float* s, const float* d, float* p, size_t n)
{
    for (size_t i = 0; i < n; i++) {
        const float sr = s[2 * i], si = s[2 * i + 1], dr = d[2 * i], di = d[2 * i + 1];
        p[2 * i] = sr * dr - si * di;
        p[2 * i + 1] = si * dr + sr * di;
    }
}

const float* spectrum_locked(const Image image, uint64_t hash, int width, int height, int fw, int fh)
{
    if (CacheEntry* e = find_entry(kind_spectrum, hash, 0, width, height, fw, fh)) {
        e->used = true;
        return e->data.get();
    }
    const size_t floats = 2 * (size_t)fw * fh;
    Buffer frame = take_buffer(floats);
    auto lay = [&](float* f) { lay_image(f, image, width, height, fw, fh); };
    lay(frame.get());
    if (!transform(frame.get(), fw, fh, 0, lay)) {
        keep_spare(std::move(frame), floats);
        return nullptr;
    }
    return insert_entry(kind_spectrum, hash, 0, width, height, fw, fh, std::move(frame), floats);
}

int clamp_offset(long long v)
{
    // Beyond ±2^30 nothing of any frame lands in any picture.
    return (int)std::clamp(v, -(1ll << 30), 1ll << 30);
}

}  // namespace

uint64_t image_hash(const Image image, int width, int height)
{
    XXH64_state_t* state = XXH64_createState();
    XXH64_reset(state, 0);
    std::vector<float> zeros;
    for (int y = 0; image && y < height && width > 0; y++) {
        const float* row = image[y];
        if (!row) {
            zeros.resize((size_t)width, 0.0f);
            row = zeros.data();
        }
        XXH64_update(state, row, sizeof(float) * (size_t)width);
    }
    const uint64_t h = XXH64_digest(state);
    XXH64_freeState(state);
    return h;
}

const float* image_spectrum(const Image image, uint64_t hash, int width, int height, int fw, int fh)
{
    if (!image || width < 1 || height < 1 || fw < width || fh < height ||
        (long long)fw * fh > max_frame_values)
        return nullptr;
    std::lock_guard<std::mutex> hold(cache_lock);
    return spectrum_locked(image, hash, width, height, fw, fh);
}

void place_result(const float* result, Image destination, int fw, int fh, int width, int height, int ox, int oy,
                  float scale, int add)
{
    if (!result || !destination || fw < 1 || fh < 1 || width < 1 || height < 1)
        return;
    if (!add)
        for (int y = 0; y < height; y++)
            if (destination[y])
                memset(destination[y], 0, sizeof(float) * (size_t)width);
    const long long py0 = std::max(0ll, -(long long)oy), py1 = std::min((long long)fh, (long long)height - oy);
    const long long px0 = std::max(0ll, -(long long)ox), px1 = std::min((long long)fw, (long long)width - ox);
    if (px0 >= px1)
        return;
    for (long long py = py0; py < py1; py++) {
        float* row = destination[py + oy];
        if (!row)
            continue;
        const float* src = result + py * fw;
        if (add)
            for (long long px = px0; px < px1; px++)
                row[px + ox] += scale * src[px];
        else
            for (long long px = px0; px < px1; px++)
                row[px + ox] = scale * src[px];
    }
}

void convolve_layer(const Image layer, Image accumulated, int width, int height, int cx, int cy, int looped)
{
    if (!layer || !accumulated || width < 1 || height < 1)
        return;
    const int fw = next_fast_size(2 * width - 1), fh = next_fast_size(2 * height - 1);
    const long long n = (long long)fw * fh;
    if (n > max_frame_values) {
        // Once per size: a stroke recomposites many times a second.
        static std::atomic<long long> refused{0};
        const long long key = (long long)width << 32 | (unsigned)height;
        if (refused.exchange(key) != key)
            log_printf(stderr, "convolve_layer(): a %d x %d picture is too large to convolve\n", width, height);
        return;
    }

    std::lock_guard<std::mutex> hold(cache_lock);
    const uint64_t layer_hash = image_hash(layer, width, height);
    const uint64_t accumulated_hash = image_hash(accumulated, width, height);

    const float* result = nullptr;
    if (CacheEntry* e = find_entry(kind_result, layer_hash, accumulated_hash, width, height, fw, fh)) {
        e->used = true;
        result = e->data.get();
        // The spectra behind a result live as long as it does, so that when one of the two
        // pictures changes only the other's spectrum is computed again.
        for (uint64_t key : {layer_hash, accumulated_hash})
            if (CacheEntry* s = find_entry(kind_spectrum, key, 0, width, height, fw, fh))
                s->used = true;
    } else {
        const float* s = spectrum_locked(layer, layer_hash, width, height, fw, fh);
        const float* d = spectrum_locked(accumulated, accumulated_hash, width, height, fw, fh);
        if (!s || !d)
            return;
        Buffer product = take_buffer(2 * (size_t)n);
        auto multiply = [&](float* p) { multiply_spectra(s, d, p, (size_t)n); };
        multiply(product.get());
        const bool done = transform(product.get(), fw, fh, 1, multiply);
        if (done) {
            Buffer real = take_buffer((size_t)n);
            for (long long i = 0; i < n; i++)
                real[i] = product[2 * i];
            result = insert_entry(kind_result, layer_hash, accumulated_hash, width, height, fw, fh, std::move(real),
                                  (size_t)n);
        }
        keep_spare(std::move(product), 2 * (size_t)n);
        if (!done)
            return;
    }

    // The two 1/N forward scalings and the unscaled backward transform leave the plain
    // convolution sum divided by N.
    const float scale = (float)n;
    place_result(result, accumulated, fw, fh, width, height, clamp_offset(-(long long)cx),
                 clamp_offset(-(long long)cy), scale, 0);
    if (looped) {
        place_result(result, accumulated, fw, fh, width, height, clamp_offset(-(long long)width - cx),
                     clamp_offset(-(long long)cy), scale, 1);
        place_result(result, accumulated, fw, fh, width, height, clamp_offset((long long)width - cx),
                     clamp_offset(-(long long)cy), scale, 1);
    }
}

void release_unused_convolution_buffers()
{
    std::lock_guard<std::mutex> hold(cache_lock);
    spares.clear();
    for (CacheEntry& e : cache) {
        if (!e.used && e.data) {
            keep_spare(std::move(e.data), e.floats);
            e.kind = 0;
        }
        e.used = false;
    }
}

ConvolutionStats convolution_stats()
{
    ConvolutionStats s;
    s.cpu_forward = cpu_forward_count.load();
    s.cpu_backward = cpu_backward_count.load();
    s.gpu_forward = gpu_forward_count.load();
    s.gpu_backward = gpu_backward_count.load();
    return s;
}

void convolution_stats_reset()
{
    cpu_forward_count = 0;
    cpu_backward_count = 0;
    gpu_forward_count = 0;
    gpu_backward_count = 0;
}

int convolution_cached_buffers()
{
    std::lock_guard<std::mutex> hold(cache_lock);
    int count = 0;
    for (const CacheEntry& e : cache)
        count += e.data != nullptr;
    return count;
}

void convolution_allow_gpu(bool allow)
{
    gpu_allowed = allow;
}
