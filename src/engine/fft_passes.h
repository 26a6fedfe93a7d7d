// The butterfly passes of the real FFT. A forward pass of radix ip turns l1 groups of ip
// interleaved spectra of length ido (array cc[ido][l1][ip], fastest index first) into l1
// spectra of length ido*ip (ch[ido][ip][l1]); a backward pass does the reverse. Spectra
// are in interleaved order: Re X0, Re X1, Im X1, Re X2, ... [, Re X(len/2)].
// The radix 2 to 5 passes take their rotations split: with half = (ido-1)/2, tw holds for
// j = 1 .. ip-1 the half cosines, then the half sines, of rotation j. The general passes take
// them interleaved: wa holds (ip-1) runs of ido values, (cos, sin) pairs from the second on.
#pragma once

void radf2(int ido, int l1, const float* cc, float* ch, const float* tw);
void radf3(int ido, int l1, const float* cc, float* ch, const float* tw);
void radf4(int ido, int l1, const float* cc, float* ch, const float* tw);
void radf5(int ido, int l1, const float* cc, float* ch, const float* tw);
// General odd radix. Its result always ends in cc; it reads its input from cc, except when
// ido == 1, where it reads it from ch. ch is scratch of the same size.
void radfg(int ido, int ip, int l1, float* cc, float* ch, const float* wa);

void radb2(int ido, int l1, const float* cc, float* ch, const float* tw);
void radb3(int ido, int l1, const float* cc, float* ch, const float* tw);
void radb4(int ido, int l1, const float* cc, float* ch, const float* tw);
void radb5(int ido, int l1, const float* cc, float* ch, const float* tw);
// General odd radix, backward: reads cc; the result ends in cc, except when ido == 1,
// where it ends in ch.
void radbg(int ido, int ip, int l1, float* cc, float* ch, const float* wa);
