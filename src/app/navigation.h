// Moving around the picture and the sound from the keyboard and the wheel: zoom steps, the
// vertical pan, and the playback position moved by the arrow keys with the view following it.
#pragma once

struct Shell;

// Down and Up: the playback position to the first sample, or to the last; the view scrolls
// to show it.
void navigation_seek_end(Shell& sh, bool end);

// The playback position as a picture column (fractional): the sample position through the
// output's length in block modes, the cursor (or the jump on its way to it) in live mode.
double navigation_position_column(Shell& sh);
