// The floating windows' layout texts and their placement on screen: each window is sized to
// its layout (element 0 is the frame) and places its widgets from the rectangles the layout
// resolves to at the window's position, addressed by element number.
#pragma once
#include "support/layout_text.h"
#include "support/widgets.h"

enum : int {
    dialog_console = 0,
    dialog_about,
    dialog_new_project,
    dialog_open_import,
    dialog_analysis_params,
    dialog_save_format,
    dialog_extend_cut,
    dialog_volume_limiter,
    dialog_audio_output,
    dialog_file_chooser,
    dialog_layout_count,
};

// One layout unit in logical pixels (times the interface scale on screen).
constexpr int dialog_unit_px = 60;

const char* dialog_layout_name(int dialog);
const char* dialog_layout_text(int dialog);
// Parsed once, on first use, and kept for the run (knobs keep pointers into it).
const Layout& dialog_layout(int dialog);

// The window's size at the scale: the bounds of its layout.
void dialog_size_window(int dialog, FloatingWindow& w, int scale);
// Every element's screen rectangle for the window where it now stands.
ResolvedLayout dialog_resolve(int dialog, const FloatingWindow& w, int scale);
WidgetRect dialog_rect(const ResolvedLayout& r, int element);
// The element's text in the layout ("" when it has none).
const char* dialog_text(int dialog, int element);
// A knob's range, default, scale, format and unit from its element's knob lines.
void dialog_knob_setup(Knob& k, int dialog, int element);
