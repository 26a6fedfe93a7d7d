#include "support/wav_header.h"

#include <cstring>

namespace {

void put32(unsigned char* p, uint32_t v)
{
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
    p[2] = (unsigned char)(v >> 16);
    p[3] = (unsigned char)(v >> 24);
}

void put16(unsigned char* p, uint32_t v)
{
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
}

}  // namespace

void float_wav_header(unsigned char* h, int channels, int sample_rate, uint64_t frames)
{
    const uint32_t frame_bytes = 4u * (uint32_t)(channels > 0 ? channels : 1);
    const uint64_t max_data = 0xFFFFFFFFull - float_wav_header_bytes;
    uint64_t data = frames * frame_bytes;
    if (frames > max_data / frame_bytes || data > max_data)
        data = max_data - max_data % frame_bytes;
    memcpy(h, "RIFF", 4);
    put32(h + 4, (uint32_t)(float_wav_header_bytes - 8 + data));
    memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 18);
    put16(h + 20, 3);  // IEEE float
    put16(h + 22, frame_bytes / 4);
    put32(h + 24, (uint32_t)sample_rate);
    put32(h + 28, (uint32_t)sample_rate * frame_bytes);
    put16(h + 32, frame_bytes);
    put16(h + 34, 32);
    put16(h + 36, 0);
    memcpy(h + 38, "fact", 4);
    put32(h + 42, 4);
    put32(h + 46, (uint32_t)(data / frame_bytes));
    memcpy(h + 50, "data", 4);
    put32(h + 54, (uint32_t)data);
}
