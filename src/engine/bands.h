// Band geometry of the synthesis renderers. Bands are counted k = 0 .. H-1 from the bottom of
// the scale (band k is picture row H-1-k). A band of half-width h rows covers the spectrum
// bins between the frequencies of scale positions (k - h) / (H - 1) and (k + h) / (H - 1) of a
// transform of size N; a window laid out in scale position (not in Hz) weighs its bins.
//
// To be modulated, a band is cut out of the spectrum and moved down so that it sits E bins
// above baseband in a short transform of length L (room for the band and E bins of spreading
// on each side); after modulation it is added back at its place with those margins.
// Frequencies are normalised (cycles per sample); the engine's scale base must be set first.
#pragma once
#include <vector>

// Edges of band k for a transform of size N: lo, hi are the nearest bins to the band's lower
// and upper frequency; tlo, thi their scale positions. An edge at or below 0 Hz has no
// position on a logarithmic axis: tlo is then the position of bin 1.
struct BandEdges {
    long long lo = 0, hi = 0;
    float tlo = 0.0f, thi = 0.0f;
};
BandEdges band_edges(int k, float half_width, int rows, float a, float b, int N);

// Window across a band, p running from 0 at tlo to 1 at thi.
enum BandWindow {
    band_window_hann,            // 0.5 - 0.5 cos(2 pi p): neighbours one row apart sum to 1
    band_window_blackman_sinc,   // sinc(6 (p - 0.5)) times a Blackman window: zeros on the
                                 // neighbouring band centres, all bands summing to about 1
};
float band_window_value(BandWindow window, float p);

struct SynthesisBand {
    int start = 0, end = 0;      // spectrum bins start+1 .. end are taken (count = end - start)
    int count = 0;               // 0: the band is empty
    int length = 0;              // L, the band's short transform size
    long long window_offset = 0; // its weights in BandLayout::window, one per bin
};

struct BandLayout {
    int rows = 0;                // H
    int N = 0;                   // the block transform size
    int margin = 0;              // E
    int points = 0;              // M: the block's column count at the band rate
    int longest = 0;             // the largest L
    std::vector<SynthesisBand> bands;  // from the bottom up
    std::vector<float> window;   // per band, the weight of bin start+i for i < count
};

// Places every band: edges with half-width h, bins start = max(lo, 1) .. end = min(hi, N/2),
// L = M when M >= 2 (2E + count) + 1, else the previous band's L when that is enough, else
// next_fast_size(2 (2E + count) + 1). Frequencies a, b normalised. Returns false, having logged
// one line, when the sizes are out of reach (rows < 2, N < 2, or a length beyond 2^30).
bool layout_bands(BandLayout& layout, int rows, float a, float b, int N, float half_width,
                  int margin, int points, BandWindow window);

// Rescales the weights so that, at every bin taken whose scale position lies between the bottom
// and the top row (0 to 1), the weights of all bands taking it sum to exactly 1: bands that
// are all left as they are add back to the spectrum itself, with no ripple across the range.
// Below and above, the weights keep the shape of their taper, scaled by the factor of the
// range's first or last bin, so that the response stays continuous at the range's ends.
// Frequencies a, b normalised.
void normalise_band_weights(BandLayout& layout, float a, float b);

// Band k of the spectrum X (size N, halfcomplex) into buffer (size L, zeroed by the caller):
// bin start+1+i, weighed by the window of bin start+i, becomes bin E+1+i.
void band_cut(const BandLayout& layout, int k, const float* X, float* buffer);
// Adds the band spectrum P (size L) back into Y (size N): P's bin m - start + E goes to
// Y's bin m for m from max(start - E, 1) while m < min(end + E, N / 2), undoing band_cut's
// shift and returning the E margin bins on either side.
void band_reinsert(const BandLayout& layout, int k, const float* P, float* Y);
