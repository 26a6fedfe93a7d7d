#include "layers/composite.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "layers/blend.h"
#include "layers/convolution.h"

void update_group_flags(Project& p)
{
    int group = 0;
    for (int i = 0; i < (int)p.layers.size(); i++) {
        Layer& l = p.layers[i];
        if (!l.image)
            group = i;
        l.group = group;
    }
    for (Layer& l : p.layers) {
        const Layer& opener = p.layers[l.group];
        // Below the first separator the group opener is layer 0 itself, which is no separator.
        bool group_off = !opener.image && opener.off;
        l.effectively_off = (l.off || group_off) ? 1 : 0;
    }
}

static void clear_image(Image image, int width, int height)
{
    for (int y = 0; y < height; y++)
        if (image[y])
            memset(image[y], 0, (size_t)width * sizeof(float));
}

// Composite [y][x] becomes synthesis copy [x][y], in tiles so that both sides stay in cache.
static void transpose_into(const Image from, Image to, int width, int height)
{
    const int tile = 64;
    for (int y0 = 0; y0 < height; y0 += tile)
        for (int x0 = 0; x0 < width; x0 += tile) {
            int y1 = std::min(y0 + tile, height), x1 = std::min(x0 + tile, width);
            for (int y = y0; y < y1; y++)
                for (int x = x0; x < x1; x++)
                    to[x][y] = from[y][x];
        }
}

// A window of columns [first, first + width) of every picture the composite reads and writes:
// row pointers moved to the first column, so that the blends work on the window as on a whole
// picture. With first 0 and the whole width the pictures are used as they are.
struct ColumnWindow {
    int first = 0, width = 0, height = 0;
    bool whole = true;
    std::vector<std::vector<float*>> rows;   // storage of the moved row pointers

    Image at(Image image)
    {
        if (whole || !image)
            return image;
        std::vector<float*>& moved = rows.emplace_back((size_t)height);
        for (int y = 0; y < height; y++)
            moved[(size_t)y] = image[y] ? image[y] + first : nullptr;
        return moved.data();
    }
};

static void composite_current_group(Project& p, ColumnWindow& w)
{
    int current = p.current_layer;
    if (current < 0 || current >= (int)p.layers.size())
        return;
    int group = p.layers[current].group;
    int accumulate = 0;
    Image composite = w.at(p.composite);
    for (const Layer& l : p.layers) {
        if (!l.image || l.group != group || l.off)
            continue;
        blend_image(w.at(l.image), composite, w.width, w.height, l.centre_x, l.centre_y, l.blending, accumulate);
        accumulate = 1;
    }
}

static void composite_groups(Project& p, ColumnWindow& w)
{
    int count = (int)p.layers.size();
    int opener = -1;         // the separator of the open group; -1 for the implicit first group
    int accumulate = 0;
    const int width = w.width, height = w.height;
    Image composite = w.at(p.composite), group_buffer = w.at(p.group_buffer);
    // Position `count`, one past the top layer, closes the last group like a separator.
    for (int i = 0; i <= count; i++) {
        const Layer* l = i < count ? &p.layers[i] : nullptr;
        if (l && l->image) {
            if (!l->effectively_off) {
                blend_image(w.at(l->image), group_buffer, width, height, l->centre_x, l->centre_y, l->blending,
                            accumulate);
                accumulate = 1;
            }
            continue;
        }
        if (opener < 0) {
            blend_image(group_buffer, composite, width, height, 0, 0, blend_addition, 0);
        } else {
            const Layer& s = p.layers[opener];
            // An empty group is still closed: with Multiplication its zeros clear the composite.
            if (!s.off)
                blend_image(group_buffer, composite, width, height, s.centre_x, s.centre_y, s.blending, 1);
        }
        // A buffer no layer was blended into is still all zeros.
        if (accumulate)
            clear_image(group_buffer, width, height);
        accumulate = 0;
        opener = i;
    }
}

bool composite_layers(Project& p, bool current_group_only)
{
    {
        std::lock_guard<std::mutex> lock(p.image_lock);
        if (!p.composite)
            return false;
        int width = p.width, height = p.height;
        // Cleared before the pixels are read, so a change made while this runs is not lost.
        p.recomposite_needed = false;
        if (!p.group_buffer)
            p.group_buffer = image_alloc(height, width);
        clear_image(p.composite, width, height);
        clear_image(p.group_buffer, width, height);
        update_group_flags(p);
        ColumnWindow whole;
        whole.width = width;
        whole.height = height;
        if (current_group_only)
            composite_current_group(p, whole);
        else
            composite_groups(p, whole);
        // The convolution cache is shared by all composites and only touched under this lock.
        release_unused_convolution_buffers();
    }

    bool copied = false;
    if (p.live_synthesis) {
        std::lock_guard<std::mutex> copy_lock(p.synthesis_copy_lock);
        std::lock_guard<std::mutex> lock(p.image_lock);
        if (p.composite) {
            if (!p.synthesis_copy)
                p.synthesis_copy = image_alloc(p.width, p.height);
            transpose_into(p.composite, p.synthesis_copy, p.width, p.height);
            p.synthesis_copy_updated = true;
            copied = true;
        }
    }
    return copied;
}

// Modes whose result at a pixel depends only on the two pixels there.
static bool pixelwise(int mode)
{
    return mode >= blend_addition && mode <= blend_maximum;
}

bool composite_columns(Project& p, bool current_group_only, int first, int last)
{
    {
        std::lock_guard<std::mutex> lock(p.image_lock);
        if (!p.composite || p.composite_width != p.width || p.composite_height != p.height)
            return false;
        first = std::max(first, 0);
        last = std::min(last, p.width - 1);
        if (first > last)
            return true;
        update_group_flags(p);
        // Propagation and convolution carry pixels across columns: only a whole composite is right.
        const int group = p.current_layer >= 0 && p.current_layer < (int)p.layers.size()
                              ? p.layers[(size_t)p.current_layer].group
                              : -1;
        for (const Layer& l : p.layers) {
            if (current_group_only && (!l.image || l.group != group || l.off))
                continue;
            if (!pixelwise(l.blending))
                return false;
        }
        if (!p.group_buffer)
            p.group_buffer = image_alloc(p.height, p.width);
        ColumnWindow w;
        w.first = first;
        w.width = last - first + 1;
        w.height = p.height;
        w.whole = false;
        w.rows.reserve(p.layers.size() + 2);  // the moved row arrays must not move themselves
        clear_image(w.at(p.composite), w.width, w.height);
        clear_image(w.at(p.group_buffer), w.width, w.height);
        if (current_group_only)
            composite_current_group(p, w);
        else
            composite_groups(p, w);
    }
    if (p.live_synthesis) {
        std::lock_guard<std::mutex> copy_lock(p.synthesis_copy_lock);
        std::lock_guard<std::mutex> lock(p.image_lock);
        if (p.composite && p.synthesis_copy) {
            for (int x = first; x <= last; x++)
                for (int y = 0; y < p.height; y++)
                    p.synthesis_copy[x][y] = p.composite[y][x];
            p.synthesis_copy_updated = true;
        }
    }
    return true;
}
