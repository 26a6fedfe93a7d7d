// A tool stroke on the picture: one press-to-release of a painting, rectangle, move or centre
// tool. The stroke keeps the composite fresh on its own thread, takes the undo copy once, runs
// one tool step per frame and records the archive lines of its result when it ends, so that
// replaying the history repaints exactly what the stroke left.
#pragma once
#include <string>

struct Shell;
struct App;
struct ScreenLayout;

// What the stroke under way remembers between frames (the anchor and the erase choice live in
// InputState, which other input code reads too).
struct ToolStroke {
    bool active = false;        // a stroke started and has not ended or been cancelled
    int tool = 0;               // the tool it was started with
    int move_dx = 0, move_dy = 0;  // the move tool's last offsets, committed at the release
    int first_block = 0, last_block = -1;  // the rectangle's live-synthesis blocks
    float intensity = 0.25f;    // the tool intensity of the stroke, a fraction
    int centre_x = 0, centre_y = 0, centre_set = 0;  // the layer's centre before the stroke
};

// Fills app.tool_view from the view and the layout. The tools work in logical pixels, so at
// interface scale 2 every screen size is halved.
void tool_view_from_layout(App& app, const ScreenLayout& l, int scale);

// The tool's work for this frame of a stroke (pointer mode 4); `first` on the press frame.
void tool_stroke_frame(Shell& sh, bool first);
// The release: the compositing thread joined, the result recorded and the update level set.
void tool_stroke_end(Shell& sh);
// Every frame: the columns the spray's drainer composited are drawn into the display (the
// rest of it stays as it is), or the display is marked for a rebuild.
void follow_painted_columns(Shell& sh, const ScreenLayout& l);

// The convolution-centre line for column `x` and row `y` in the history units:
// "Central convolution point %s %s , %s %s", or with the note unit the three-placeholder form.
std::string centre_line(const App& app, int x, int y);
// The rectangle's lines: "Draw rectangle\nIntensity %g" with the factor (1 - intensity
// darkening; 1 / (1 - intensity) lightening, 100000 above 0.99999), then the start and end
// lines in the history units ("Rectangle start %s %s x %s %s" or, with notes, "... x %s").
std::string rectangle_intensity_line(float intensity, bool lighten);
std::string rectangle_corner_line(const App& app, bool start, int column, int row);
