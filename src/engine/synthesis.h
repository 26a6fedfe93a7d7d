// Picture to sound, block by block. Two renderers share the band geometry of bands.h:
//
// - Noise: each row modulates a band-limited noise carrier of its own band; the carriers are
//   built once per set-up (NoiseCarriers) from the program's random generator.
// - Lossless: each row, divided by the same row of the original picture, modulates the
//   original sound's own band signal; an unedited picture gives back the original sound.
//
// A renderer takes one block of the picture already copied out (copy_block_columns, or
// build_gain_block for lossless: the caller holds the image lock for that copy only) and
// produces S samples; the block's kept range of them goes into the output (block_geometry.h,
// synthesis_output.h). Renderers never sleep: a caller that must leave the processor to
// others does so in RenderControl::band_done. Blocks are independent, so any number of
// threads may render different blocks with the same set-up at once.
#pragma once
#include <atomic>
#include <memory>
#include <vector>

#include "engine/bands.h"
#include "engine/block_geometry.h"
#include "engine/kernel.h"
#include "engine/synthesis_output.h"

struct FftPlan;

struct RenderControl {
    // Raised: the renderer stops at the next band and leaves a silent block.
    const std::atomic<bool>* abort = nullptr;
    // Called after each band with its index (bands counted from the bottom).
    void (*band_done)(void* user, int band) = nullptr;
    void* user = nullptr;
};
// Where a live engine yields for 1 ms: after noise bands 0, 100, 200, ... and after every
// even-numbered lossless band.
inline bool noise_band_yields(int band) { return band % 100 == 0; }
inline bool lossless_band_yields(int band) { return band % 2 == 0; }

// Floats from the guarded allocator.
struct FloatBlock {
    std::unique_ptr<float[], void (*)(float*)> data{nullptr, nullptr};
    size_t size = 0;
};

// Work memory of one rendering thread, kept between blocks so that a worker does not
// allocate and fault in fresh pages for every block. One block at a time per scratch.
struct RenderScratch {
    FloatBlock block_in, block_out, spectrum, cut, signal, resampled, product, points;
};

// Per band: its short transform and the resampling of the block's points to its length.
struct BandTools {
    int length = 0;
    std::shared_ptr<const FftPlan> plan;
    KernelTaps taps;  // points -> length
};

// The part of a synthesis set-up both renderers have: geometry, frequency range (normalised),
// the clamped scale base and the band layout with one BandTools per distinct length.
struct SynthesisBands {
    BlockGeometry geometry;
    float a = 0.0f, b = 0.0f;   // fmin / sr, fmax / sr
    float base = 2.0f;          // clamped to [1, 2]
    BandLayout layout;
    std::vector<BandTools> tools;
    std::vector<int> tool_of_band;
    std::shared_ptr<const FftPlan> block_plan;  // size layout.N
};

struct NoiseCarriers {
    SynthesisBands bands;       // half-width 1 row, Hann window, over S
    FloatBlock values;          // carrier of band k: values.data[offset[k] .. offset[k] + L)
    std::vector<long long> offset;
};

// Builds the carriers for a geometry and range (Hz): white noise repeating every hop samples, from the
// program's generator, coloured by k^(0.5 - B/2) (white for B = 1, pink for B = 2), cut into
// bands (E = round(7C/3), M = round(S R / sr)) and transformed back. Stores the clamped base
// as the engine's base. `threads` share the bands (0: one per processor); the carriers are the
// same to the bit for every thread count. Returns false, having logged, for an unusable set-up.
bool build_noise_carriers(NoiseCarriers& carriers, const BlockGeometry& geometry, float fmin,
                          float fmax, float base, int threads = 0);

// Copies block columns first .. first+width-1 of a picture (rows x columns, row 0 at the top)
// into block (rows x width, row-major); columns past the picture read 0.
void copy_block_columns(const float* const* image, int columns, int rows, long long first,
                        int width, float* block);

// Renders one noise block from its copied columns (rows x C) into out (S samples). Returns
// false, with out silent, when aborted.
bool render_noise_block(const NoiseCarriers& carriers, const float* block, float* out,
                        const RenderControl& control = RenderControl(),
                        RenderScratch* scratch = nullptr);

struct LosslessSetup {
    SynthesisBands bands;       // half-width 3 rows, windowed sinc, over N'
    int transform = 0;          // N': S plus the analysis padding, a smooth size
};

// Band layout and sizes of lossless synthesis: pad = round(5 / D0) as in analysis,
// N' = next_smooth_size(S - 1 + pad, made even), M = round(N' W / n_out). The band weights
// are normalised to sum to 1 across the range (normalise_band_weights) and the gain points
// are resampled as one circular period (kernel_taps_circular): an unedited picture gives back
// the range's part of the sound itself. Stores the clamped base as the engine's base. Returns
// false, having logged, for an unusable set-up.
bool build_lossless_setup(LosslessSetup& setup, const BlockGeometry& geometry, float fmin,
                          float fmax, float base);

// The gain block (rows x width) of lossless synthesis: current / original at each pixel,
// 0 for columns past the picture. Where the original pixel is 0 (or the quotient is not
// finite) the gain is 1: the original band is silent there, so any gain gives the same
// silence at that column, and 1 keeps the kernel's spreading into the neighbouring columns
// exactly as in the unedited picture instead of notching or blowing up the band around it.
void build_gain_block(const float* const* current, const float* const* original, int columns,
                      int rows, long long first, int width, float* gain);

enum LosslessResult { lossless_rendered, lossless_silent, lossless_aborted };
// Renders lossless block j from its gain block (rows x C) and the original sound (`length`
// samples available, padding included) into out (S samples). Sound past the geometry's
// output length (the picture's end) is never read, so nothing past the picture sounds.
// lossless_silent: every sound sample the block would read is zero; out is untouched and the
// block's output keeps its previous contents. lossless_aborted: out is silent.
LosslessResult render_lossless_block(const LosslessSetup& setup, int j, const float* gain,
                                     const float* sound, long long length, float* out,
                                     const RenderControl& control = RenderControl(),
                                     RenderScratch* scratch = nullptr);

// Whole outputs, for rendering without a sound card: every block rendered by `threads`
// workers (0: one per processor) into `out` (sized here for n_out samples; the caller clears
// it first if it holds older sound), then the normalisation gain updated from the peak. The
// output is the same to the bit for every thread count. Returns the blocks rendered, or -1
// when aborted.
int render_noise_output(const NoiseCarriers& carriers, const float* const* image,
                        OutputBuffer& out, float* gain, int threads = 0,
                        const std::atomic<bool>* abort = nullptr);
int render_lossless_output(const LosslessSetup& setup, const float* const* current,
                           const float* const* original, const float* sound, long long length,
                           OutputBuffer& out, float* gain, int threads = 0,
                           const std::atomic<bool>* abort = nullptr);

// The checks of switching modes, as the message box the interface shows: a null title
// means there is nothing to show.
struct SynthesisMessage {
    const char* title = nullptr;
    const char* text = nullptr;
};
// Turning lossless mode on needs an original sound and its picture; otherwise the mode
// stays off with this message.
SynthesisMessage lossless_turn_on_check(long long original_sound_length, int original_columns,
                                        int original_rows);
// While lossless mode is on, a picture of another size than the original picture turns it off
// with this message.
SynthesisMessage lossless_size_check(bool lossless, int columns, int rows, int original_columns,
                                     int original_rows);
