// Placeholder until the button bar lands: the bar has no controls to hit yet.
#include "app/bar_input.h"

bool bar_press(Shell&, int, int) { return false; }
void bar_drag(Shell&) {}
void bar_release(Shell&) {}
void bar_cancel(Shell&) {}
