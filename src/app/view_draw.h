// Everything of the spectrogram view drawn into the screen buffer: the display image, the
// overlays, the play cursor, then over the margins and the bar the frequency, note and time
// axes; the pointer readout for the bar's status line.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "app/axes.h"
#include "app/layout.h"
#include "commands/app.h"
#include "support/raster.h"

struct Shell;

// The rows and columns of the project as the axes see them.
FrequencyScale view_frequency_scale(const Project& p);

// Screen rows of the semitone lines the overlay draws in the view (semitone numbers in
// `numbers` when not null), by the spacing rule: C, D, E, G and A from 8 pixels between
// semitones 0 and 1, the others from 16.
std::vector<int> semitone_overlay_rows(const ViewState& v, const ScreenLayout& l, const FrequencyScale& s,
                                       std::vector<int>* numbers = nullptr);
// Screen columns of the 16 rhythm divisions that fall inside the image area (division
// indexes in `divisions` when not null).
std::vector<int> rhythm_overlay_columns(const ViewState& v, const ScreenLayout& l, int image_width,
                                        std::vector<int>* divisions = nullptr);

// The status line's readout for a pointer at (x, y): time, frequency and nearest note; "" when
// the pointer is outside the image area or there is no picture.
std::string pointer_readout(const App& app, const ScreenLayout& l, int x, int y);

// Whether the tool outline is drawn for a pointer at (x, y): a spray or the rectangle tool is
// current and the pointer is over the image area, or anywhere with H held.
bool tool_outline_shown(const App& app, const ScreenLayout& l, int x, int y, bool h_held);
// Screen pixels of the outline around (x, y): the brush's ellipse, 1.5 × the tool width across
// each way (both radii equal on screen), for the sprays; a cross as wide as the tool for the
// rectangle tool.
std::vector<std::pair<int, int>> tool_outline_points(int tool, float width, int scale, int x, int y);

// Draws the picture, the overlays and the play cursor into the screen buffer, rebuilding the
// display image first when the picture, the view or a display toggle changed.
void view_draw(Shell& sh, const ScreenLayout& l);
// The axes' labels, which reach over the margins and the button bar's top edge: drawn once the
// bar is.
void view_draw_labels(Shell& sh, const ScreenLayout& l);
// The time labels alone, along the button bar's top edge (drawn again over a redrawn bar).
void view_draw_time_labels(Shell& sh, const ScreenLayout& l);
