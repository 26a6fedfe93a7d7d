// Where things sit in the window, in screen pixels (logical sizes times the interface scale).
#pragma once

struct ScreenLayout {
    int menu_bar_height = 22;
    int strip_x = 0, strip_y = 0, strip_width = 0, strip_height = 0;   // waveform strip
    int image_x = 0, image_y = 0, image_width = 0, image_height = 0;   // the picture
    int bar_y = 0, bar_height = 0;                                     // button bar
};

// The layout of a window of width × height screen pixels at interface scale `scale`:
// menu bar on top, the waveform strip from logical row 67, the picture between a left margin of
// 120 and a right margin of 60 down to the button bar, which is 280 logical rows tall, or 169
// when the window is at least 1,400 logical pixels wide or lossless synthesis is on.
ScreenLayout screen_layout(int width, int height, int scale, int waveform_height, bool lossless);
