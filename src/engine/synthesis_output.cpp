#include "engine/synthesis_output.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "support/alloc.h"

OutputBuffer::~OutputBuffer() { output_resize(*this, 0); }

void output_resize(OutputBuffer& out, long long samples)
{
    const int want = samples <= 0 ? 0 : (int)std::min<long long>(samples / output_chunk_samples + 1, output_max_chunks);
    const int have = std::clamp(out.chunk_count, 0, output_max_chunks);
    for (int i = want; i < have; i++) {
        free(out.chunks[i]);
        out.chunks[i] = nullptr;
    }
    for (int i = have; i < want; i++)
        out.chunks[i] = (float*)wrcalloc((size_t)output_chunk_samples, sizeof(float));
    out.chunk_count = want;
}

void output_clear(OutputBuffer& out)
{
    for (int i = 0; i < out.chunk_count; i++)
        memset(out.chunks[i], 0, (size_t)output_chunk_samples * sizeof(float));
}

long long output_capacity(const OutputBuffer& out) { return out.chunk_count * output_chunk_samples; }

float output_sample(const OutputBuffer& out, long long t)
{
    if (t < 0 || t >= output_capacity(out))
        return 0.0f;
    return out.chunks[t / output_chunk_samples][t % output_chunk_samples];
}

void output_write(OutputBuffer& out, long long first, const float* samples, long long count)
{
    long long end = std::min(first + count, output_capacity(out));
    for (long long t = std::max(first, 0ll); t < end;) {
        long long chunk = t / output_chunk_samples, index = t % output_chunk_samples;
        long long n = std::min(end - t, output_chunk_samples - index);
        memcpy(out.chunks[chunk] + index, samples + (t - first), (size_t)n * sizeof(float));
        t += n;
    }
}

void output_read(const OutputBuffer& out, long long first, float* samples, long long count)
{
    for (long long i = 0; i < count; i++)
        samples[i] = output_sample(out, first + i);
}

float output_peak(const OutputBuffer& out, long long samples)
{
    samples = std::min(samples, output_capacity(out));
    float peak = 0.0f;
    for (long long t = 0; t < samples;) {
        long long n = std::min(samples - t, output_chunk_samples);
        const float* c = out.chunks[t / output_chunk_samples];
        float p = 0.0f;
        for (long long i = 0; i < n; i++)
            p = std::max(p, std::fabs(c[i]));
        peak = std::max(peak, p);
        t += n;
    }
    return peak;
}

bool update_normalisation_gain(float peak, float* gain)
{
    if (peak == 0.0f)
        return false;
    float inverse = 1.0f / peak;
    if (!(inverse > 1e-30f && inverse < 1e30f))
        return false;
    *gain = inverse;
    return true;
}
