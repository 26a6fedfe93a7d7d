// The button bar as the desktop program holds it: the controls' places and states, the drag
// under way, and the pictures the bar is drawn with.
#pragma once
#include <string>

#include "app/layout.h"
#include "support/raster.h"
#include "ui/button_bar.h"

struct Shell;

// The bar's pictures, read from the interface folder the first time the bar is drawn.
struct BarImages {
    bool loaded = false;
    Pixmap knob, knob_anim, corner;
    Pixmap faces[3];                  // small, med, big: released face above the pressed one
    Pixmap icons[bar_slot_count];     // by slot; empty for text buttons
    Pixmap pause;                     // the Play/Pause button while playing
};

struct BarState {
    ButtonBar bar;
    BarImages images;
    // The drag under way.
    KnobDrag knob_drag;
    int last_y = 0;                   // linear knob control: the pointer row of the last frame
    double rest_angle = 0.0;          // where the knob was when pressed (Escape returns it)
    double rest_value = 0.0;
    int rest_pressed = 0;
};

// Lays the bar out for the window and derives what its buttons show from the program's state:
// the tool buttons from the current tool, the modifiers and Vision mode from their flags,
// Play/Pause from playback, the knobs' frames from their angles. A control being dragged
// keeps the state the drag gives it.
void bar_sync(Shell& sh);
// Whether a knob is being turned (synthesis waits for its release).
bool bar_knob_dragging(const Shell& sh);
// The status line's text: a message of the drag, else the pointer readout over the picture,
// else the text the input left (the title or the tool's help).
std::string bar_status_text(const Shell& sh, const ScreenLayout& l);
// The bar drawn into the screen buffer: panel, corner, knobs, buttons, texts, status line.
void bar_draw(Shell& sh, const ScreenLayout& l);
