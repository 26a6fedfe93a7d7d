#include "layers/rectangle.h"

#include <algorithm>
#include <cmath>

#include "support/log.h"

void multiply_image_rectangle(Image image, int width, int height, int column_a, int row_a, int column_b,
                              int row_b, float factor)
{
    if (!image)
        return;
    int y0 = std::max(std::min(row_a, row_b), 0), y1 = std::min(std::max(row_a, row_b), height);
    int x0 = std::max(std::min(column_a, column_b), 0), x1 = std::min(std::max(column_a, column_b), width);
    for (int y = y0; y < y1; y++) {
        float* row = image[y];
        if (!row)
            continue;
        for (int x = x0; x < x1; x++)
            row[x] *= factor;
    }
}

bool multiply_rectangle(Project& p, int column_a, int row_a, int column_b, int row_b, float factor)
{
    if (!std::isfinite(factor)) {
        log_printf(stderr, "Rectangle factor %g refused: it is not a finite number\n", factor);
        return false;
    }
    std::lock_guard<std::mutex> lock(p.image_lock);
    if (p.current_layer < 0 || p.current_layer >= (int)p.layers.size())
        return false;
    Layer& l = p.layers[p.current_layer];
    if (!l.image)
        return false;
    multiply_image_rectangle(l.image, p.width, p.height, column_a, row_a, column_b, row_b, factor);
    p.recomposite_needed = true;
    p.content_changed |= content_pixels;
    return true;
}
