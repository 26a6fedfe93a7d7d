// The pictures the interface is drawn with, read from "gfx/" at start-up: the palettes, the
// menu images and the three bitmap fonts. A missing file is logged ("File not found: ...")
// and the interface draws without it.
#pragma once
#include <cstdint>
#include <string>

#include "support/font.h"
#include "support/raster.h"

struct InterfaceImages {
    Pixmap palette;      // one row: the interface colours (palette_entries.h)
    Pixmap gradient;     // Vision Mode's ramp, silence to maximum
    Pixmap rainbow;      // the waveform strip's band colours
    Pixmap menu_bar, menu_line, menu_shadow;
    Font font12, font16, font24;
    int missing = 0;     // files that could not be read
};

// Reads every picture from `folder` ("gfx" beside the executable). At scale 2 the pictures of
// "gfx/2x/" are used where they exist, the plain ones elsewhere.
void interface_images_load(InterfaceImages& g, const std::string& folder, int scale);

// Entry `index` of the palette's first row; `fallback` when the palette lacks it.
uint32_t palette_colour(const InterfaceImages& g, int index, uint32_t fallback);
