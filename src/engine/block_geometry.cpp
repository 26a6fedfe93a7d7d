#include "engine/block_geometry.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "engine/fft_size.h"
#include "engine/synthesis_output.h"
#include "support/alloc.h"
#include "support/log.h"

// Longest block rendering: keeps every transform size and index of a block in int.
static constexpr long long max_block_length = 1ll << 28;

int synthesis_block_width(float time_resolution, int rows, bool long_blocks)
{
    float resolution = std::isnan(time_resolution) ? 0.0f : std::clamp(time_resolution, -1.0e6f, 1.0e6f);
    long long r = (long long)resolution;
    long long w;
    if (long_blocks) {
        w = (r * 120) & ~1ll;
    } else {
        w = (r * 4) & ~1ll;
        if (rows > 1000)
            w = w * (rows / 1000 + 1);
    }
    return (int)std::clamp(w, 24ll, (long long)INT_MAX - 1);
}

long long noise_output_length(int columns, float time_resolution, int sample_rate)
{
    if (columns <= 0 || sample_rate <= 0 || !(time_resolution > 0.0f))
        return 0;
    float n = std::nearbyint((float)columns * (float)sample_rate / time_resolution);
    if (!(n >= 0.0f))
        return 0;
    if (n >= (float)output_max_samples)
        return output_max_samples;
    return (long long)n;
}

bool block_geometry(BlockGeometry& g, int columns, int rows, float time_resolution,
                    int sample_rate, bool long_blocks, long long output_length)
{
    g = BlockGeometry();
    if (columns <= 0 || rows < 2 || sample_rate <= 0 || !(time_resolution > 0.0f) ||
        !std::isfinite(time_resolution) || output_length <= 0) {
        log_printf(stderr, "Error: block_geometry(): no blocks for a %d x %d picture and %lld samples\n",
                   columns, rows, output_length);
        return false;
    }
    if (output_length > output_max_samples) {
        log_printf(stderr, "Warning: block_geometry(): output cut to %lld samples\n", output_max_samples);
        output_length = output_max_samples;
    }
    const int C = synthesis_block_width(time_resolution, rows, long_blocks);
    const float sr = (float)sample_rate;
    const float resolution = sr * (float)columns / (float)output_length;
    const float hop = std::nearbyint((float)(C / 2) * sr / resolution);
    if (!(hop >= 1.0f && 2.0f * hop <= (float)max_block_length)) {
        log_printf(stderr, "Error: block_geometry(): blocks of %d columns have no usable length\n", C);
        return false;
    }
    g.columns = columns;
    g.rows = rows;
    g.sample_rate = sample_rate;
    g.time_resolution = time_resolution;
    g.output_resolution = resolution;
    g.block_width = C;
    g.block_hop = (int)hop;
    g.block_length = next_smooth_size(2 * g.block_hop);
    g.block_count = (int)(2ll * columns / C + (columns % C != 0 ? 1 : 0));
    g.output_length = output_length;
    return true;
}

long long block_first_column(const BlockGeometry& g, int j) { return (long long)j * (g.block_width / 2); }

long long block_first_sample(const BlockGeometry& g, int j) { return (long long)j * g.block_hop; }

void block_kept_range(const BlockGeometry& g, int j, long long* from, long long* to)
{
    const long long hop = g.block_hop, quarter = hop / 2;
    long long a = j == 0 ? 0 : (long long)j * hop + quarter - 1;
    long long b = ((long long)j + 1) * hop + quarter - 1;
    a = std::min(a, g.output_length);
    b = std::min(b, g.output_length);
    *from = a;
    *to = std::max(a, b);
}

long long original_sound_padded_length(long long n, int block_length)
{
    if (n < 0 || block_length <= 0)
        return std::max(n, 0ll);
    long long padded = (2 * n / block_length + 2) * (block_length / 2);
    return std::max(padded, n);
}

void extend_original_sound(std::vector<float>& sound, long long n, int block_length)
{
    n = std::max(n, 0ll);
    resize_with_huge_pages(sound, (size_t)original_sound_padded_length(n, block_length), 0.0f);
    std::fill(sound.begin() + n, sound.end(), 0.0f);
}
