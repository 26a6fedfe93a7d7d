// The 58-byte header of an IEEE-float WAV file (a "fact" chunk included), for writers that
// stream samples and rewrite the header as the file grows.
#pragma once
#include <cstdint>

constexpr int float_wav_header_bytes = 58;

// Fills `h` for `frames` frames of `channels` 32-bit float samples. The data size is capped at
// what the 32-bit size fields hold, rounded down to whole frames.
void float_wav_header(unsigned char* h, int channels, int sample_rate, uint64_t frames);
