#include "engine/image.h"

#include <cstdlib>
#include <cstring>

#include "support/alloc.h"
#include "support/log.h"

bool picture_size_ok(long long rows, long long columns, const char* what)
{
    if (rows < 0 || columns < 0 || rows > picture_max_side || columns > picture_max_side ||
        rows * columns > picture_max_pixels) {
        log_printf(stderr, "Error: %s of %lld x %lld pixels is larger than a picture may be\n", what, columns, rows);
        return false;
    }
    return true;
}

Image image_alloc(int rows, int columns)
{
    if (rows <= 0 || columns <= 0)
        return nullptr;
    Image image = (Image)wrmalloc((size_t)rows * sizeof(float*));
    float* block = (float*)wrcalloc((size_t)rows * (size_t)columns, sizeof(float));
    for (int y = 0; y < rows; y++)
        image[y] = block + (size_t)y * (size_t)columns;
    return image;
}

Image image_copy(const Image image, int rows, int columns)
{
    if (!image)
        return nullptr;
    Image copy = image_alloc(rows, columns);
    if (!copy)
        return nullptr;
    for (int y = 0; y < rows; y++)
        memcpy(copy[y], image[y], (size_t)columns * sizeof(float));
    return copy;
}

void image_free(Image image)
{
    if (!image)
        return;
    free(image[0]);
    free(image);
}
