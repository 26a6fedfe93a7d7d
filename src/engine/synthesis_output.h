// The rendered sound of the block modes: n_out samples in chunks of 2,621,440 (10 MiB each),
// at most 400 chunks; sample t lives in chunk t / 2621440 at index t % 2621440. Chunks are
// allocated zeroed and kept across restarts, so a restart that does not clear them plays the
// old sound until the new blocks arrive.
//
// Nothing here locks: whoever changes the chunk list holds the playback lock; workers write
// disjoint kept ranges.
#pragma once

constexpr long long output_chunk_samples = 2621440;
constexpr int output_max_chunks = 400;
constexpr long long output_max_samples = output_chunk_samples * output_max_chunks;

struct OutputBuffer {
    float* chunks[output_max_chunks] = {};
    int chunk_count = 0;

    OutputBuffer() = default;
    OutputBuffer(const OutputBuffer&) = delete;
    OutputBuffer& operator=(const OutputBuffer&) = delete;
    ~OutputBuffer();
};

// Chunks for n samples: trunc(n / 2621440) + 1 of them (at most 400; 0 chunks for n <= 0).
// Missing chunks are allocated zeroed, surplus chunks freed, existing ones keep their contents.
void output_resize(OutputBuffer& out, long long samples);
// Zeroes every allocated chunk.
void output_clear(OutputBuffer& out);
// The samples the chunks hold.
long long output_capacity(const OutputBuffer& out);
// Sample t, 0 beyond the chunks.
float output_sample(const OutputBuffer& out, long long t);
// Writes samples[0 .. count-1] to first .. first+count-1; what lies outside the chunks is dropped.
void output_write(OutputBuffer& out, long long first, const float* samples, long long count);
// Copies samples first .. first+count-1 into `samples`, zeros where there are no chunks.
void output_read(const OutputBuffer& out, long long first, float* samples, long long count);
// Largest absolute value among the first n samples.
float output_peak(const OutputBuffer& out, long long samples);

// The normalisation gain: with peak p, G becomes 1/p when p != 0 and 1e-30 < 1/p < 1e30;
// otherwise (silence, absurd peaks) G keeps its value. Returns whether G was set.
bool update_normalisation_gain(float peak, float* gain);
