#include "layers/rectangle_drag.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "layers/rectangle.h"

float rectangle_factor(bool amplify, float intensity)
{
    if (amplify)
        return 1.0f / (1.0f - std::min(intensity, 0.99999f));
    return 1.0f - intensity;
}

// A pointer coordinate to a whole pixel, truncated; far-off values are held to a range that
// still clips to the picture.
static int whole_pixel(float v)
{
    if (!(v > -1.0e9f))
        return -1000000000;
    return v > 1.0e9f ? 1000000000 : (int)v;
}

bool rectangle_drag(Project& p, const ToolView& v, float sx, float sy, bool amplify, float intensity,
                    int start_column, int start_row, int block_width, int* first_block, int* last_block)
{
    *first_block = 0;
    *last_block = -1;
    int column = whole_pixel(tool_column_at(v, sx));
    int row = whole_pixel(tool_row_at(v, sy));
    float factor = rectangle_factor(amplify, intensity);
    {
        std::scoped_lock lock(p.undo_lock, p.image_lock);
        if (p.current_layer < 0 || p.current_layer >= (int)p.layers.size())
            return false;
        Layer& l = p.layers[p.current_layer];
        if (!l.image)
            return false;
        if (p.undo_image)
            for (int y = 0; y < p.height; y++)
                memcpy(l.image[y], p.undo_image[y], (size_t)p.width * sizeof(float));
        if (std::isfinite(factor))
            multiply_image_rectangle(l.image, p.width, p.height, start_column, start_row, column, row, factor);
        p.recomposite_needed = true;
    }
    if (block_width > 0) {
        long long left = std::max(std::min(start_column, column), 0);
        long long right = std::max(start_column, column);
        *first_block = (int)(2 * left / block_width);
        *last_block = (int)((2 * right - 2) / block_width);
    }
    return true;
}
