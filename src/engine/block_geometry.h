// How the picture is cut into synthesis blocks and where each block's sound goes.
//
// A block is C columns wide and starts every C/2 columns, so consecutive blocks overlap by
// half. Its sound is rendered as S samples (S has prime factors 2, 3 and 5 only, so the block
// transform is fast) starting at sample j * hop, where hop is the true length of C/2 columns
// at the output's rate; only the middle of each rendered block is kept, and the kept ranges of
// consecutive blocks touch exactly. When 2 hop is itself such a size, S = 2 hop.
#pragma once
#include <vector>

// Columns of one block: trunc(R) * 4 made even, times trunc(H / 1000) + 1 for pictures
// taller than 1000 rows; with long blocks trunc(R) * 120 made even (the height does not
// count); never under 24. Absurd resolutions are clamped rather than overflowing.
int synthesis_block_width(float time_resolution, int rows, bool long_blocks);

// Output length of noise and live modes: trunc(round(W * sr / R)), single precision; 0 when
// unusable, and never more than the output buffer can hold.
long long noise_output_length(int columns, float time_resolution, int sample_rate);

struct BlockGeometry {
    int columns = 0, rows = 0;      // W, H of the picture
    int sample_rate = 0;            // sr
    float time_resolution = 0.0f;   // R, columns per second
    float output_resolution = 0.0f; // R' = sr * W / n_out, what the output actually has
    int block_width = 0;            // C, even
    int block_hop = 0;              // samples from one block's start to the next's
    int block_length = 0;           // S
    int block_count = 0;            // nb
    long long output_length = 0;    // n_out
};

// The geometry for a W x H picture rendered into n_out samples (noise_output_length for
// noise mode, the original sound's length for lossless): C as above, hop = round(trunc(C/2) *
// sr / R'), S = next_smooth_size(2 hop), nb = trunc(2W / C), plus 1 when C does not divide W.
// Returns false, having logged one line, when no usable geometry exists.
bool block_geometry(BlockGeometry& g, int columns, int rows, float time_resolution,
                    int sample_rate, bool long_blocks, long long output_length);

// First picture column of block j: j * C / 2 (the block reads C columns from there).
long long block_first_column(const BlockGeometry& g, int j);
// First output sample of block j's rendering: rendered sample i lands on sample first + i.
long long block_first_sample(const BlockGeometry& g, int j);
// The samples block j writes: [from, to), from j * hop + trunc(hop / 2) - 1 (0 for block 0)
// to (j + 1) * hop + trunc(hop / 2) - 1, cut at n_out (and empty beyond it).
void block_kept_range(const BlockGeometry& g, int j, long long* from, long long* to);

// A new original sound of n samples is extended with zeros to (trunc(2n / S) + 2) * trunc(S/2)
// samples, so that the last block can read nearly a full block (the renderers read only what
// exists). Never shorter than n.
long long original_sound_padded_length(long long n, int block_length);
void extend_original_sound(std::vector<float>& sound, long long n, int block_length);
