// The picture as the screen shows it: the visible part of the composite (or of the current
// layer alone) normalised to its own maximum, in grey with a gamma of 2 or in the false
// colours of the gradient, resampled to the image area.
#pragma once
#include <cstdint>
#include <span>

#include "app/interface_images.h"
#include "commands/app.h"
#include "commands/view.h"
#include "support/raster.h"

// How source values become display pixels.
struct DisplayLook {
    bool smooth = false;                 // tent filter; nearest pixel otherwise
    const Pixmap* gradient = nullptr;    // Vision Mode's ramp; null or empty for grey
    uint32_t separator_colour = 0xFF000000u;
};

// Everything a display image depends on: while it is unchanged the image is not rebuilt.
struct DisplayKey {
    int width = -1, height = -1;
    int first_column = 0, visible_columns = 0, first_row = 0, visible_rows = 0;
    bool smooth = false, vision = false, current_layer_only = false;
    int current_layer = -1;
    bool operator==(const DisplayKey&) const = default;
};

// The resampler of a rebuild: smooth below 2,000 visible columns outside strokes unless Force
// Fast is on; Force Smooth makes it smooth always.
bool display_smooth(int visible_columns, bool fast, const DisplayToggles& t);

// Renders the view's block of `rows` (source_width floats each; a null row holds no data and
// shows the separator colour) into `out` at width × height.
// - Fast: output pixel (x, y) takes the source pixel at column round(x × (visible − 1) / width)
//   and row round(y × (visible − 1) / height).
// - Smooth: the source pixels under each output pixel averaged with a tent weight of
//   half-width max(1, source pixels per output pixel) on each axis; an output row whose
//   nearest source row holds no data is a separator row.
// Each value v shows min(255, floor(sqrt(max(v, 0) / m) × 255 + 0.5)) in grey, or the gradient
// entry floor(N × sqrt(v / m)) clamped to the N entries, m being the largest value of the
// visible block (1 when it is 0 or less). A view outside the rows gives black. Returns the m it
// used (0 when nothing was shown).
float display_render(Pixmap& out, int width, int height, std::span<const float* const> rows, int source_width,
                    const ViewState& v, const DisplayLook& look);

// The key of the display the App needs now at width × height.
DisplayKey display_key(const App& app, int width, int height, bool fast);

// Rebuilds the display from the composite, or from the current layer alone with View Current
// Layer Only on (a separator layer shows its empty rows across the area). `fast` is true during
// tool strokes. Takes the image lock while it reads. Returns the visible maximum it used.
float display_rebuild(Pixmap& out, int width, int height, App& app, const InterfaceImages& gfx, bool fast);

// A stroke's update of a display built with the fast resampler: only the output columns showing
// source columns first..last are drawn again, with the visible maximum `m` of the last rebuild.
// False, drawing nothing, when the whole display must be rebuilt instead: a value there above m
// (the normalisation changes everywhere), a smooth display, or a display of another size. Takes
// the image lock while it reads.
bool display_update_columns(Pixmap& out, int width, int height, App& app, const InterfaceImages& gfx, int first,
                            int last, float m);
