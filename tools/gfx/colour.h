// The colours of the interface: the theme table behind "gfx/palette.png", the Vision Mode
// ramp and the waveform band colours, computed in the OKLab perceptual space.
#pragma once
#include <array>
#include <vector>

#include "gfx/canvas.h"
#include "support/palette_entries.h"

std::array<rgba, palette_entry_count> theme_palette();
rgba theme(palette_entry e);

// Dark to bright, lightness rising linearly in OKLab: black, deep purple, red-orange, pale yellow.
std::vector<rgba> vision_gradient(int entries);
// Band colours from warm (low bands) to cool (high bands), then the strip's background.
std::vector<rgba> waveform_bands(int bands);

// sRGB (gamma-encoded, 0..1) ↔ OKLab.
struct lab {
    float l, a, b;
};
lab to_oklab(rgba c);
rgba from_oklab(lab v);  // clamped into sRGB, chroma reduced first so that lightness is kept
