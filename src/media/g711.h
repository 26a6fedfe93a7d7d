// G.711 companded telephone samples (A-law and µ-law) to 16-bit linear values, by the
// standard's expansion rules: a 3-bit segment and a 4-bit step, sign in the top bit. The
// results are the decision-interval midpoints of the standard's tables, A-law up to
// ±32256 and µ-law up to ±32124.
#pragma once
#include <cstdint>

inline int16_t g711_alaw_to_linear(uint8_t code)
{
    // Even bits are inverted on the line, to keep quiet signals from being runs of zeros.
    const int a = code ^ 0x55;
    const int segment = (a >> 4) & 7;
    int t = (a & 0x0F) << 4;
    t += segment == 0 ? 8 : 0x108;
    if (segment > 1)
        t <<= segment - 1;
    return (int16_t)((a & 0x80) ? t : -t);
}

inline int16_t g711_ulaw_to_linear(uint8_t code)
{
    // Every bit is inverted on the line; 0x84 is the bias added before encoding.
    const int u = ~code & 0xFF;
    int t = ((u & 0x0F) << 3) + 0x84;
    t <<= (u >> 4) & 7;
    return (int16_t)((u & 0x80) ? 0x84 - t : t - 0x84);
}
