// The butterfly passes of the real FFT. A forward pass of radix ip turns l1 groups of ip
// interleaved spectra of length ido (array cc[ido][l1][ip], fastest index first) into l1
// spectra of length ido*ip (ch[ido][ip][l1]); a backward pass does the reverse. Spectra
// are in interleaved order: Re X0, Re X1, Im X1, Re X2, ... [, Re X(len/2)].
// wa points at the pass's twiddles: (ip-1) runs of ido values, (cos, sin) pairs from the
// second value on.
#pragma once

void radf2(int ido, int l1, const float* cc, float* ch, const float* wa1);
void radf3(int ido, int l1, const float* cc, float* ch, const float* wa1, const float* wa2);
void radf4(int ido, int l1, const float* cc, float* ch, const float* wa1, const float* wa2,
           const float* wa3);
void radf5(int ido, int l1, const float* cc, float* ch, const float* wa1, const float* wa2,
           const float* wa3, const float* wa4);
// General odd radix. Its result always ends in cc; it reads its input from cc, except when
// ido == 1, where it reads it from ch. ch is scratch of the same size.
void radfg(int ido, int ip, int l1, float* cc, float* ch, const float* wa);

void radb2(int ido, int l1, const float* cc, float* ch, const float* wa1);
void radb3(int ido, int l1, const float* cc, float* ch, const float* wa1, const float* wa2);
void radb4(int ido, int l1, const float* cc, float* ch, const float* wa1, const float* wa2,
           const float* wa3);
void radb5(int ido, int l1, const float* cc, float* ch, const float* wa1, const float* wa2,
           const float* wa3, const float* wa4);
// General odd radix, backward: reads cc; the result ends in cc, except when ido == 1,
// where it ends in ch.
void radbg(int ido, int ip, int l1, float* cc, float* ch, const float* wa);
