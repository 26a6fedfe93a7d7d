#include "app/display.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include "support/palette_entries.h"

namespace {

// Per output pixel of one axis: the source pixels (relative to the first visible one) and their
// normalised tent weights.
struct Taps {
    std::vector<int> start, count;   // per output pixel
    std::vector<int> index;          // flattened source indexes
    std::vector<float> weight;
    std::vector<int> nearest;        // the source pixel nearest the output pixel's centre
};

Taps tent_taps(int outputs, int visible)
{
    Taps t;
    t.start.resize((size_t)outputs);
    t.count.resize((size_t)outputs);
    t.nearest.resize((size_t)outputs);
    const double ratio = (double)visible / outputs;
    const double half = std::max(1.0, ratio);
    for (int o = 0; o < outputs; o++) {
        const double centre = (o + 0.5) * ratio - 0.5;
        const int lo = std::max(0, (int)std::ceil(centre - half));
        const int hi = std::min(visible - 1, (int)std::floor(centre + half));
        t.start[(size_t)o] = (int)t.index.size();
        t.nearest[(size_t)o] = std::clamp((int)std::lround(centre), 0, visible - 1);
        double sum = 0.0;
        const size_t first = t.weight.size();
        for (int s = lo; s <= hi; s++) {
            const double w = 1.0 - std::fabs(s - centre) / half;
            if (w <= 0.0)
                continue;
            t.index.push_back(s);
            t.weight.push_back((float)w);
            sum += w;
        }
        if (t.weight.size() == first) {  // cannot happen with half >= 1, but never divide by 0
            t.index.push_back(t.nearest[(size_t)o]);
            t.weight.push_back(1.0f);
            sum = 1.0;
        }
        for (size_t i = first; i < t.weight.size(); i++)
            t.weight[i] = (float)(t.weight[i] / sum);
        t.count[(size_t)o] = (int)(t.weight.size() - first);
    }
    return t;
}

// One display pixel of a value, the visible maximum being m (> 0).
struct Colouring {
    float m = 1.0f;
    const uint32_t* ramp = nullptr;
    int ramp_size = 0;

    uint32_t operator()(float value) const
    {
        const float level = value > 0.0f ? std::sqrt(value / m) : 0.0f;  // NaN reads as silence
        if (ramp) {
            const int i = std::clamp((int)std::floor((float)ramp_size * level), 0, ramp_size - 1);
            return ramp[i];
        }
        const int g = std::min(255, (int)std::floor(level * 255.0f + 0.5f));
        return 0xFF000000u | (uint32_t)g << 16 | (uint32_t)g << 8 | (uint32_t)g;
    }
};

// The largest value of n floats, NaN never winning; running maxima in two four-lane vectors
// (a ten-minute picture is 34 million values, read at memory speed this way).
float largest(const float* values, int n)
{
    typedef float lanes4 __attribute__((vector_size(16)));
    lanes4 a = {0, 0, 0, 0}, b = {0, 0, 0, 0};
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        lanes4 x, y;
        std::memcpy(&x, values + i, sizeof x);
        std::memcpy(&y, values + i + 4, sizeof y);
        a = x > a ? x : a;
        b = y > b ? y : b;
    }
    float m = 0.0f;
    for (; i < n; i++)
        m = values[i] > m ? values[i] : m;
    for (int k = 0; k < 4; k++) {
        m = a[k] > m ? a[k] : m;
        m = b[k] > m ? b[k] : m;
    }
    return m;
}

}  // namespace

bool display_smooth(int visible_columns, bool fast, const DisplayToggles& t)
{
    if (t.force_smooth_display)
        return true;
    return visible_columns < 2000 && !fast && !t.force_fast_display;
}

float display_render(Pixmap& out, int width, int height, std::span<const float* const> rows, int source_width,
                     const ViewState& v, const DisplayLook& look)
{
    if (out.width != width || out.height != height)
        out = pixmap_create(width, height, 0xFF000000u);
    if (width <= 0 || height <= 0 || out.pixels.empty())
        return 0.0f;
    const int V = v.visible_columns, R = v.visible_rows;
    if (V <= 0 || R <= 0 || v.first_column < 0 || v.first_row < 0 || v.first_column + V > source_width ||
        (size_t)v.first_row + (size_t)R > rows.size()) {
        std::fill(out.pixels.begin(), out.pixels.end(), 0xFF000000u);
        return 0.0f;
    }
    const float* const* visible = rows.data() + v.first_row;

    float m = 0.0f;
    for (int r = 0; r < R; r++) {
        if (const float* row = visible[r])
            m = std::max(m, largest(row + v.first_column, V));
    }
    Colouring colour;
    colour.m = m > 0.0f ? m : 1.0f;
    if (look.gradient && look.gradient->width > 0 && !look.gradient->pixels.empty()) {
        colour.ramp = look.gradient->pixels.data();
        colour.ramp_size = look.gradient->width;
    }

    if (!look.smooth) {
        std::vector<int> columns((size_t)width);
        for (int x = 0; x < width; x++)
            columns[(size_t)x] = v.first_column + (int)std::nearbyint((double)x * (V - 1) / width);
        for (int y = 0; y < height; y++) {
            const float* row = visible[(int)std::nearbyint((double)y * (R - 1) / height)];
            uint32_t* o = out.pixels.data() + (size_t)y * (size_t)width;
            if (!row) {
                std::fill(o, o + width, look.separator_colour);
                continue;
            }
            // Zoomed far out, neighbouring pixels read source values a cache line or more apart:
            // ask for them ahead of use.
            const int ahead = std::min(width, 24);
            for (int x = 0; x < width - ahead; x++) {
                __builtin_prefetch(row + columns[(size_t)(x + ahead)]);
                o[x] = colour(row[columns[(size_t)x]]);
            }
            for (int x = std::max(0, width - ahead); x < width; x++)
                o[x] = colour(row[columns[(size_t)x]]);
        }
        return colour.m;
    }

    // Smooth: every needed source row filtered across, then the output rows down.
    const Taps across = tent_taps(width, V), down = tent_taps(height, R);
    std::vector<float> filtered((size_t)R * (size_t)width);
    std::vector<char> needed((size_t)R, 0);
    for (int y = 0; y < height; y++)
        for (int k = 0; k < down.count[(size_t)y]; k++)
            needed[(size_t)down.index[(size_t)(down.start[(size_t)y] + k)]] = 1;
    for (int r = 0; r < R; r++) {
        const float* row = visible[r];
        if (!needed[(size_t)r] || !row)
            continue;
        row += v.first_column;
        float* f = filtered.data() + (size_t)r * (size_t)width;
        for (int x = 0; x < width; x++) {
            const int* index = across.index.data() + across.start[(size_t)x];
            const float* weight = across.weight.data() + across.start[(size_t)x];
            float sum = 0.0f;
            for (int k = 0; k < across.count[(size_t)x]; k++)
                sum += weight[k] * std::max(row[index[k]], 0.0f);
            f[x] = sum;
        }
    }
    std::vector<float> line((size_t)width);
    for (int y = 0; y < height; y++) {
        uint32_t* o = out.pixels.data() + (size_t)y * (size_t)width;
        if (!visible[down.nearest[(size_t)y]]) {
            std::fill(o, o + width, look.separator_colour);
            continue;
        }
        std::fill(line.begin(), line.end(), 0.0f);
        float total = 0.0f;
        for (int k = 0; k < down.count[(size_t)y]; k++) {
            const int r = down.index[(size_t)(down.start[(size_t)y] + k)];
            if (!visible[r])  // rows without data take no part in their neighbours' average
                continue;
            const float w = down.weight[(size_t)(down.start[(size_t)y] + k)];
            total += w;
            const float* f = filtered.data() + (size_t)r * (size_t)width;
            for (int x = 0; x < width; x++)
                line[(size_t)x] += w * f[x];
        }
        const float renormalise = total > 0.0f ? 1.0f / total : 0.0f;
        for (int x = 0; x < width; x++)
            o[x] = colour(line[(size_t)x] * renormalise);
    }
    return colour.m;
}

namespace {

// The current layer when View Current Layer Only applies to it; null otherwise.
const Layer* shown_layer(const App& app)
{
    const Project& p = app.project;
    if (!app.view_current_layer_only || p.current_layer < 0 || p.current_layer >= (int)p.layers.size())
        return nullptr;
    return &p.layers[(size_t)p.current_layer];
}

}  // namespace

DisplayKey display_key(const App& app, int width, int height, bool fast)
{
    DisplayKey k;
    k.width = width;
    k.height = height;
    k.first_column = app.view.first_column;
    k.visible_columns = app.view.visible_columns;
    k.first_row = app.view.first_row;
    k.visible_rows = app.view.visible_rows;
    k.smooth = display_smooth(app.view.visible_columns, fast, app.display);
    k.vision = app.display.vision_mode;
    k.current_layer_only = app.view_current_layer_only;
    k.current_layer = app.project.current_layer;
    return k;
}

namespace {

// The rows the display shows (the composite, or the current layer alone), under the image lock.
std::span<const float* const> shown_rows(const App& app, std::vector<const float*>& empty, int* source_width)
{
    const Project& p = app.project;
    if (const Layer* layer = shown_layer(app)) {
        *source_width = p.width;
        if (layer->image)
            return std::span<const float* const>(layer->image, (size_t)std::max(0, p.height));
        // A separator: every row is an empty row.
        empty.assign((size_t)std::max(0, p.height), nullptr);
        return empty;
    }
    if (!p.composite) {
        *source_width = 0;
        return {};
    }
    *source_width = p.composite_width;
    return std::span<const float* const>(p.composite, (size_t)std::max(0, p.composite_height));
}

DisplayLook display_look(const App& app, const InterfaceImages& gfx, bool fast)
{
    DisplayLook look;
    look.smooth = display_smooth(app.view.visible_columns, fast, app.display);
    look.gradient = app.display.vision_mode ? &gfx.gradient : nullptr;
    look.separator_colour = palette_colour(gfx, palette_empty_rows, 0xFF303030u);
    return look;
}

}  // namespace

float display_rebuild(Pixmap& out, int width, int height, App& app, const InterfaceImages& gfx, bool fast)
{
    Project& p = app.project;
    const DisplayLook look = display_look(app, gfx, fast);
    std::lock_guard<std::mutex> lock(p.image_lock);
    std::vector<const float*> empty;
    int source_width = 0;
    const std::span<const float* const> rows = shown_rows(app, empty, &source_width);
    return display_render(out, width, height, rows, source_width, app.view, look);
}

bool display_update_columns(Pixmap& out, int width, int height, App& app, const InterfaceImages& gfx, int first,
                            int last, float m)
{
    Project& p = app.project;
    const ViewState& v = app.view;
    const DisplayLook look = display_look(app, gfx, true);
    const int V = v.visible_columns, R = v.visible_rows;
    if (look.smooth || out.width != width || out.height != height || width <= 0 || height <= 0 || V <= 1 || R <= 0 ||
        !(m > 0.0f))
        return false;
    first = std::max(first, v.first_column);
    last = std::min(last, v.first_column + V - 1);
    if (first > last)
        return true;  // nothing changed in view

    std::lock_guard<std::mutex> lock(p.image_lock);
    std::vector<const float*> empty;
    int source_width = 0;
    const std::span<const float* const> rows = shown_rows(app, empty, &source_width);
    if (v.first_column < 0 || v.first_row < 0 || v.first_column + V > source_width ||
        (size_t)v.first_row + (size_t)R > rows.size())
        return false;
    const float* const* visible = rows.data() + v.first_row;
    // A brighter value changes the normalisation of the whole display.
    for (int r = 0; r < R; r++)
        if (const float* row = visible[r]; row && largest(row + first, last - first + 1) > m)
            return false;
    Colouring colour;
    colour.m = m;
    if (look.gradient && look.gradient->width > 0 && !look.gradient->pixels.empty()) {
        colour.ramp = look.gradient->pixels.data();
        colour.ramp_size = look.gradient->width;
    }
    // The output columns whose nearest source column lies in first..last, as display_render maps them.
    auto column_of = [&](int x) { return v.first_column + (int)std::nearbyint((double)x * (V - 1) / width); };
    int x0 = std::clamp((int)std::floor((double)(first - v.first_column) * width / (V - 1)) - 2, 0, width - 1);
    while (x0 > 0 && column_of(x0 - 1) >= first)
        x0--;
    while (x0 < width && column_of(x0) < first)
        x0++;
    int x1 = x0;
    while (x1 < width && column_of(x1) <= last)
        x1++;
    for (int y = 0; y < height; y++) {
        const float* row = visible[(int)std::nearbyint((double)y * (R - 1) / height)];
        uint32_t* o = out.pixels.data() + (size_t)y * (size_t)width;
        for (int x = x0; x < x1; x++)
            o[x] = row ? colour(row[column_of(x)]) : look.separator_colour;
    }
    return true;
}
