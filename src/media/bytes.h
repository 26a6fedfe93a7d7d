// Reading fixed-width numbers from a byte buffer. Callers check the bounds first; these
// only assemble bytes, so they never depend on the host's byte order or alignment.
#pragma once
#include <cstdint>
#include <cstring>

inline uint16_t get_u16le(const unsigned char* p) { return (uint16_t)(p[0] | p[1] << 8); }
inline uint16_t get_u16be(const unsigned char* p) { return (uint16_t)(p[0] << 8 | p[1]); }
inline uint32_t get_u32le(const unsigned char* p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}
inline uint32_t get_u32be(const unsigned char* p)
{
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | (uint32_t)p[3];
}
inline uint64_t get_u64be(const unsigned char* p)
{
    return (uint64_t)get_u32be(p) << 32 | get_u32be(p + 4);
}
inline float float_from_bits(uint32_t u)
{
    float f;
    memcpy(&f, &u, 4);
    return f;
}
inline double double_from_bits(uint64_t u)
{
    double d;
    memcpy(&d, &u, 8);
    return d;
}
