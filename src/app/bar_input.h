// The pointer on the button bar: pressing, dragging and releasing its knobs and buttons.
#pragma once

struct Shell;

// A press at (x, y) in screen pixels: true when it hit a control of the bar (one that lossless
// mode does not lock, unless F is held), which is then dragged until the release.
bool bar_press(Shell& sh, int x, int y);
// Each frame of the drag: turns the knob, or shows the button's pressed or hovered state.
void bar_drag(Shell& sh);
// The release that ends the drag: performs the button's action, stores a knob's preference.
void bar_release(Shell& sh);
// Escape during a drag: the control goes back to rest without acting.
void bar_cancel(Shell& sh);
