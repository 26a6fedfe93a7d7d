#include "project/project.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/fft_size.h"
#include "support/log.h"

Project::~Project() { free_pictures(*this, true); image_free(original_image); }

void apply_layer_defaults(Project& p)
{
    if (p.current_layer < 0 || p.current_layer >= (int)p.layers.size())
        return;
    Layer& l = p.layers[p.current_layer];
    l.gamma = 1.0f;
    l.blending = 0;
    l.centre_x = (int)(p.width * 0.5);
    l.centre_y = (int)(p.height * 0.5);
    l.centre_set = 0;
    l.off = 0;
}

static void free_layer(Layer& l)
{
    image_free(l.image);
    image_free(l.original_image);
    l = Layer();
}

void free_pictures(Project& p, bool layers)
{
    p.colour_image.clear();
    p.colour_image.shrink_to_fit();
    image_free(p.composite);
    image_free(p.group_buffer);
    image_free(p.synthesis_copy);
    image_free(p.undo_image);
    p.composite = p.group_buffer = p.synthesis_copy = p.undo_image = nullptr;
    if (layers) {
        for (Layer& l : p.layers)
            free_layer(l);
        p.layers.clear();
        p.current_layer = 0;
    }
}

void reset_project(Project& p)
{
    std::scoped_lock lock(p.layer_table_lock, p.undo_lock, p.image_lock);
    free_pictures(p, true);
    p.width = p.height = 0;
    p.composite_width = p.composite_height = 0;
    p.current_layer = -1;
    p.scale_base = 2.0f;
    p.recomposite_needed = true;
}

bool resize_project(Project& p, int new_width, int new_height, bool exact)
{
    int W = new_width, H = new_height;
    if (!exact) {
        W = std::max(W, p.width);
        H = std::max(H, p.height);
    }
    if (W < 0 || H < 0 || !picture_size_ok(H, W, "The project"))
        return false;

    for (Layer& l : p.layers) {
        if (!l.image)
            continue;
        Image image = image_alloc(H, W);
        int rows = std::min(H, p.height), columns = std::min(W, p.width);
        for (int y = 0; y < rows; y++)
            memcpy(image[y], l.image[y], (size_t)columns * sizeof(float));
        image_free(l.image);
        l.image = image;
    }
    image_free(p.composite);
    image_free(p.group_buffer);
    image_free(p.synthesis_copy);
    image_free(p.undo_image);
    p.composite = image_alloc(H, W);
    p.group_buffer = image_alloc(H, W);
    p.synthesis_copy = image_alloc(W, H);
    p.undo_image = image_copy(p.composite, H, W);
    p.width = W;
    p.height = H;
    p.composite_width = W;
    p.composite_height = H;
    p.recomposite_needed = true;
    p.content_changed = content_dimensions;
    update_block_width(p);
    return true;
}

void save_undo(Project& p)
{
    if (p.height == 0 || p.current_layer < 0 || p.current_layer >= (int)p.layers.size())
        return;
    const Layer& l = p.layers[p.current_layer];
    if (!l.image)
        return;
    std::lock_guard<std::mutex> lock(p.undo_lock);
    if (!p.undo_image)
        p.undo_image = image_alloc(p.height, p.width);
    for (int y = 0; y < p.height; y++)
        memcpy(p.undo_image[y], l.image[y], (size_t)p.width * sizeof(float));
}

static int even_down(int w) { return w & ~1; }

void update_block_width(Project& p)
{
    int r = (int)p.time_resolution;
    int w;
    if (p.long_blocks) {
        w = even_down(r * 120);
    } else {
        w = even_down(r * 4);
        if (p.height > 1000)
            w = w * (p.height / 1000 + 1);
    }
    p.block_width = std::max(w, 24);
}

void pad_original_sound(Project& p)
{
    size_t size = (size_t)(p.block_count + 1) * (size_t)(p.block_length / 2);
    size = std::max(size, (size_t)p.original_sound_length);
    p.original_sound.resize(size, 0.0f);
    std::fill(p.original_sound.begin() + p.original_sound_length, p.original_sound.end(), 0.0f);
}

void set_original_sound(Project& p, std::vector<float> samples, int length)
{
    p.original_sound = std::move(samples);
    p.original_sound_length = std::clamp(length, 0, (int)p.original_sound.size());
    double half_block = (double)(p.block_width / 2) * p.sample_rate / p.time_resolution;
    p.block_length = next_smooth_size(2 * (int)std::nearbyint(half_block));
    p.block_count = p.block_length > 0 ? (int)((2LL * p.original_sound_length) / p.block_length + 1) : 0;
    pad_original_sound(p);
}
