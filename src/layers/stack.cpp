#include "layers/stack.h"

#include <cmath>
#include <cstdio>

#include "layers/blend.h"
#include "layers/composite.h"
#include "support/log.h"

static Layer* current_layer(Project& p)
{
    if (p.current_layer < 0 || p.current_layer >= (int)p.layers.size())
        return nullptr;
    return &p.layers[p.current_layer];
}

static void free_layer_pictures(Layer& l)
{
    image_free(l.image);
    image_free(l.original_image);
    l.image = l.original_image = nullptr;
}

// The composite no longer matches the layers, and the sound must follow.
static void mark_changed(Project& p)
{
    p.recomposite_needed = true;
    p.content_changed |= content_pixels;
}

static bool table_has_room(const Project& p)
{
    if ((int)p.layers.size() < max_layers)
        return true;
    log_printf(stderr, "Error: the layer table is full (%d layers)\n", max_layers);
    return false;
}

// Where a new layer goes: directly above the current one (the bottom of an empty table).
static int insertion_position(const Project& p)
{
    int count = (int)p.layers.size();
    int at = p.current_layer + 1;
    return at < 0 ? 0 : at > count ? count : at;
}

static bool insert_layer(Project& p, Layer layer, bool with_image, const char* name)
{
    std::lock_guard<std::mutex> table(p.layer_table_lock);
    std::lock_guard<std::mutex> lock(p.image_lock);
    if (!table_has_room(p))
        return false;
    int at = insertion_position(p);
    p.layers.insert(p.layers.begin() + at, std::move(layer));
    p.current_layer = at;
    apply_layer_defaults(p);
    Layer& l = p.layers[at];
    if (with_image)
        l.image = image_alloc(p.height, p.width);
    l.name = name ? name : "";
    mark_changed(p);
    return true;
}

bool new_layer(Project& p, const char* name)
{
    if (!insert_layer(p, Layer(), true, name))
        return false;
    p.layer_name_counter++;
    return true;
}

bool new_separator(Project& p, const char* name) { return insert_layer(p, Layer(), false, name); }

bool duplicate_layer(Project& p)
{
    std::lock_guard<std::mutex> table(p.layer_table_lock);
    std::lock_guard<std::mutex> lock(p.image_lock);
    const Layer* source = current_layer(p);
    if (!source || !table_has_room(p))
        return false;
    Layer copy = *source;
    copy.image = image_copy(source->image, p.height, p.width);
    copy.original_image = image_copy(source->original_image, source->original_height, source->original_width);
    if (!copy.original_image)
        copy.original_width = copy.original_height = 0;
    if (copy.image) {
        p.layer_name_counter++;
        copy.name = "Layer " + std::to_string(p.layer_name_counter);
    }
    int at = p.current_layer + 1;
    p.layers.insert(p.layers.begin() + at, std::move(copy));
    p.current_layer = at;
    mark_changed(p);
    return true;
}

bool merge_down_layer(Project& p)
{
    std::lock_guard<std::mutex> table(p.layer_table_lock);
    std::lock_guard<std::mutex> lock(p.image_lock);
    int at = p.current_layer;
    if (!p.composite || p.layers.size() < 2 || at <= 0 || at >= (int)p.layers.size())
        return false;
    Layer& top = p.layers[at];
    Layer& below = p.layers[at - 1];
    if (!top.image || !below.image)
        return false;
    blend_image(top.image, below.image, p.width, p.height, top.centre_x, top.centre_y, top.blending, 1);
    free_layer_pictures(top);
    p.layers.erase(p.layers.begin() + at);
    p.current_layer = at - 1;
    mark_changed(p);
    return true;
}

bool merge_all_to_new_layer(Project& p, bool current_group_only)
{
    if (p.recomposite_needed)
        composite_layers(p, current_group_only);
    std::lock_guard<std::mutex> table(p.layer_table_lock);
    std::lock_guard<std::mutex> lock(p.image_lock);
    if (!p.composite || !table_has_room(p))
        return false;
    Layer l;
    l.image = image_copy(p.composite, p.height, p.width);
    p.layers.push_back(std::move(l));
    p.current_layer = (int)p.layers.size() - 1;
    apply_layer_defaults(p);
    p.layer_name_counter++;
    p.layers.back().name = "Layer " + std::to_string(p.layer_name_counter);
    mark_changed(p);
    return true;
}

bool delete_layer(Project& p)
{
    std::lock_guard<std::mutex> table(p.layer_table_lock);
    std::lock_guard<std::mutex> lock(p.image_lock);
    int at = p.current_layer;
    if (!p.composite || p.layers.size() < 2 || at < 0 || at >= (int)p.layers.size())
        return false;
    free_layer_pictures(p.layers[at]);
    p.layers.erase(p.layers.begin() + at);
    if (p.current_layer == (int)p.layers.size())
        p.current_layer--;
    mark_changed(p);
    return true;
}

bool select_layer(Project& p, double value, bool relative)
{
    std::lock_guard<std::mutex> lock(p.image_lock);
    int count = (int)p.layers.size();
    if (count == 0 || std::isnan(value))
        return false;
    double at = relative ? p.current_layer + value : value;
    at = at < 0 ? 0 : at > count - 1 ? count - 1 : at;
    p.current_layer = (int)at;
    // With "View Current Group Only" the composite depends on the current layer.
    p.recomposite_needed = true;
    return true;
}

bool rename_layer(Project& p, const char* name)
{
    Layer* l = current_layer(p);
    if (!l)
        return false;
    l->name = name ? name : "";
    return true;
}

bool turn_layer(Project& p, bool on)
{
    std::lock_guard<std::mutex> lock(p.image_lock);
    Layer* l = current_layer(p);
    if (!l)
        return false;
    l->off = on ? 0 : 1;
    mark_changed(p);
    return true;
}

bool set_layer_blending(Project& p, int mode)
{
    std::lock_guard<std::mutex> lock(p.image_lock);
    Layer* l = current_layer(p);
    if (!l || mode < 0 || mode >= blend_mode_count)
        return false;
    l->blending = mode;
    mark_changed(p);
    return true;
}

bool set_layer_blending_keyword(Project& p, const char* text)
{
    Layer* l = current_layer(p);
    if (!l)
        return false;
    int mode = blending_mode_from_keyword(text);
    if (mode < 0) {
        log_printf(stderr, "Blending mode \"%s\" unknown for layer \"%s\"\n", text ? text : "", l->name.c_str());
        return false;
    }
    return set_layer_blending(p, mode);
}

// Negative pixels keep their sign, so that no exponent turns a pixel into not-a-number and a
// later gamma change undoes an earlier one for every pixel.
static float signed_power(float v, float exponent)
{
    return v < 0.0f ? -powf(-v, exponent) : powf(v, exponent);
}

bool set_layer_gamma(Project& p, float gamma)
{
    Layer* l = current_layer(p);
    if (!l)
        return false;
    if (!std::isfinite(gamma) || gamma <= 0.0f) {
        log_printf(stderr, "Gamma %g refused: a gamma is a positive number\n", gamma);
        return false;
    }
    float old_gamma = l->gamma > 0.0f && std::isfinite(l->gamma) ? l->gamma : 1.0f;
    save_undo(p);
    std::lock_guard<std::mutex> lock(p.image_lock);
    l = current_layer(p);
    l->gamma = gamma;
    float exponent = gamma / old_gamma;
    if (l->image && exponent != 1.0f)
        for (int y = 0; y < p.height; y++)
            for (int x = 0; x < p.width; x++)
                l->image[y][x] = signed_power(l->image[y][x], exponent);
    mark_changed(p);
    return true;
}

bool multiply_layer(Project& p, float factor)
{
    Layer* l = current_layer(p);
    if (!l || !l->image)
        return false;
    if (!std::isfinite(factor)) {
        log_printf(stderr, "Multiply layer by %g refused: the factor is not a finite number\n", factor);
        return false;
    }
    save_undo(p);
    std::lock_guard<std::mutex> lock(p.image_lock);
    l = current_layer(p);
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++)
            l->image[y][x] *= factor;
    mark_changed(p);
    return true;
}

bool set_layer_centre(Project& p, int x, int y)
{
    std::lock_guard<std::mutex> lock(p.image_lock);
    Layer* l = current_layer(p);
    if (!l)
        return false;
    l->centre_x = x;
    l->centre_y = y;
    l->centre_set = 1;
    mark_changed(p);
    return true;
}

std::vector<std::string> layer_list_labels(Project& p)
{
    std::lock_guard<std::mutex> lock(p.image_lock);
    update_group_flags(p);
    std::vector<std::string> labels;
    labels.reserve(p.layers.size());
    for (int i = (int)p.layers.size() - 1; i >= 0; i--) {
        const Layer& l = p.layers[i];
        const char* mode = l.blending >= 0 && l.blending < blend_mode_count ? blending_labels[l.blending] : "?";
        const char* state = l.off ? "(off) " : l.effectively_off ? "(group-off) " : "";
        labels.push_back(std::string(state) + l.name + " [" + mode + "]");
    }
    return labels;
}
