// The butterfly passes of the real FFT. A forward pass of radix ip turns l1 groups of ip
// interleaved spectra of length ido (array cc[ido][l1][ip], fastest index first) into l1
// spectra of length ido*ip (ch[ido][ip][l1]); a backward pass does the reverse. Spectra
// are in interleaved order: Re X0, Re X1, Im X1, Re X2, ... [, Re X(len/2)].
// The radix 2 to 5 passes take their rotations split: with half = (ido-1)/2, tw holds for
// j = 1 .. ip-1 the half cosines, then the half sines, of rotation j. The general passes take
// them interleaved: wa holds (ip-1) runs of ido values, (cos, sin) pairs from the second on.
#pragma once

typedef void (*fft_radix_pass)(int ido, int l1, const float* cc, float* ch, const float* tw);

// Radix 2, 3, 4 and 5, in that order.
struct FftRadixPasses {
    fft_radix_pass forward[4];
    fft_radix_pass backward[4];
};

// The same passes built for four-lane vectors (any x86-64 or other processor) and for eight
// (AVX2). Both give the same results to the bit; the eight-lane set is null where it was not
// built or the processor lacks AVX2.
const FftRadixPasses& fft_radix_passes_four_lane();
const FftRadixPasses* fft_radix_passes_eight_lane();

// General odd radix. Its result always ends in cc; it reads its input from cc, except when
// ido == 1, where it reads it from ch. ch is scratch of the same size.
void radfg(int ido, int ip, int l1, float* cc, float* ch, const float* wa);
// General odd radix, backward: reads cc; the result ends in cc, except when ido == 1,
// where it ends in ch.
void radbg(int ido, int ip, int l1, float* cc, float* ch, const float* wa);
