// Seeking with the Cursor tool: a press on the picture moves the playback position to the
// column under the pointer, and playback continues from there.
#pragma once

struct Shell;
struct ScreenLayout;

// The block modes' position for a pointer `x_offset` screen pixels right of the image area's
// left edge: round(total × ((visible − 1) × x_offset / image_width + first_column) / columns),
// clamped to the sound. 0 when there is no picture or no area.
long long seek_sample(long long total_samples, int visible_columns, int first_column, int columns, float x_offset,
                      int image_width);

// The position follows the pointer: in the block modes the play position in samples, in live
// mode (live synthesis on, lossless off) the live cursor jumps to the column under the pointer.
void seek_to_pointer(Shell& sh, const ScreenLayout& l);
