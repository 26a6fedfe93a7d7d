#include "project/project.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "engine/block_geometry.h"
#include "engine/fft_size.h"
#include "support/alloc.h"
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
    std::scoped_lock lock(p.synthesis_copy_lock, p.layer_table_lock, p.undo_lock, p.image_lock);
    reset_project_locked(p);
}

void reset_project_locked(Project& p)
{
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
    // A layer without pixels is a separator: an empty size would silently turn every
    // image layer into one.
    if (W == 0 || H == 0) {
        for (const Layer& l : p.layers)
            if (l.image) {
                log_printf(stderr, "Error: resize_project(): a project with layers cannot be %d x %d pixels\n", W, H);
                return false;
            }
    }

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

void update_block_width(Project& p)
{
    p.block_width = synthesis_block_width(p.time_resolution, p.height, p.long_blocks);
}

void pad_original_sound(Project& p)
{
    extend_original_sound(p.original_sound, p.original_sound_length, p.block_length);
}

bool set_original_sound(Project& p, std::vector<float> samples, int length)
{
    if (length < 0 || length > sound_max_samples) {
        log_printf(stderr, "Error: set_original_sound(): %d samples is not a sound length\n", length);
        return false;
    }
    double half_block = std::nearbyint((double)(p.block_width / 2) * p.sample_rate / p.time_resolution);
    if (!(half_block >= 1.0 && half_block < (double)(1 << 29))) {
        log_printf(stderr, "Error: set_original_sound(): no block length for %g px/s\n", p.time_resolution);
        return false;
    }
    if (samples.size() < (size_t)length)
        resize_with_huge_pages(samples, (size_t)length, 0.0f);
    p.original_sound = std::move(samples);
    p.original_sound_length = length;
    p.block_length = next_smooth_size(2 * (int)half_block);
    p.block_count = (int)((2LL * length) / p.block_length + 1);
    pad_original_sound(p);
    return true;
}
