#include "app/layout.h"

#include <algorithm>

ScreenLayout screen_layout(int width, int height, int scale, int waveform_height, bool lossless)
{
    ScreenLayout l;
    const int s = std::max(1, scale);
    const int w = width / s, h = height / s;
    const int bar = (w >= 1400 || lossless) ? 169 : 280;
    l.menu_bar_height = 22 * s;
    l.strip_x = 120 * s;
    l.strip_y = 67 * s;
    l.strip_width = std::max(0, w - 60 - 120) * s;
    l.strip_height = std::max(0, waveform_height) * s;
    l.image_x = 120 * s;
    l.image_y = (waveform_height + 69) * s;
    l.image_width = std::max(0, w - 60 - 120) * s;
    l.image_height = std::max(0, h - bar - (waveform_height + 69)) * s;
    l.bar_y = std::max(0, h - bar) * s;
    l.bar_height = std::min(h, bar) * s;
    return l;
}
