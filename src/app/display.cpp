#include "app/display.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

void display_rebuild(Pixmap& out, int width, int height, Project& p, const ViewState& v)
{
    if (out.width != width || out.height != height)
        out = pixmap_create(width, height, 0xFF000000u);
    if (width <= 0 || height <= 0)
        return;
    std::lock_guard<std::mutex> lock(p.image_lock);
    const int W = p.composite_width, H = p.composite_height;
    if (!p.composite || W <= 0 || H <= 0 || v.visible_columns <= 0 || v.visible_rows <= 0 ||
        v.first_column + v.visible_columns > W || v.first_row + v.visible_rows > H) {
        std::fill(out.pixels.begin(), out.pixels.end(), 0xFF000000u);
        return;
    }
    // The source column and row of every output column and row, computed once.
    std::vector<int> columns((size_t)width), rows((size_t)height);
    for (int x = 0; x < width; x++)
        columns[(size_t)x] = v.first_column + (int)std::nearbyint((double)x * (v.visible_columns - 1) / width);
    for (int y = 0; y < height; y++)
        rows[(size_t)y] = v.first_row + (int)std::nearbyint((double)y * (v.visible_rows - 1) / height);

    float m = 0.0f;
    for (int r = v.first_row; r < v.first_row + v.visible_rows; r++) {
        const float* row = p.composite[r];
        for (int c = v.first_column; c < v.first_column + v.visible_columns; c++)
            m = std::max(m, row[c]);
    }
    const float scale = m > 0.0f ? 1.0f / m : 1.0f;

    for (int y = 0; y < height; y++) {
        const float* row = p.composite[rows[(size_t)y]];
        uint32_t* o = out.pixels.data() + (size_t)y * (size_t)width;
        for (int x = 0; x < width; x++) {
            float value = row[columns[(size_t)x]];
            int g = value > 0.0f ? (int)std::floor(std::sqrt(value * scale) * 255.0f + 0.5f) : 0;
            g = std::min(g, 255);
            o[x] = 0xFF000000u | (uint32_t)g << 16 | (uint32_t)g << 8 | (uint32_t)g;
        }
    }
}
