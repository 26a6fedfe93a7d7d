#include "app/interface_images.h"

#include "support/paths.h"
#include "support/png_load.h"

namespace {

// The 2× picture when the interface is scaled and it exists, else the plain one.
std::string pick(const std::string& folder, int scale, const char* name)
{
    if (scale >= 2) {
        std::string hi = folder + "/2x/" + name;
        if (file_exists(hi))
            return hi;
    }
    return folder + "/" + name;
}

Pixmap load(InterfaceImages& g, const std::string& folder, int scale, const char* name)
{
    Pixmap p = pixmap_load_png(pick(folder, scale, name).c_str());
    if (p.pixels.empty())
        g.missing++;
    return p;
}

Font load_font(InterfaceImages& g, const std::string& folder, int scale, int size, int offset)
{
    char glyphs[64], limits[64];
    snprintf(glyphs, sizeof glyphs, "font/font%d.png", size);
    snprintf(limits, sizeof limits, "font/font%d_limits.png", size);
    Font f = font_load(pick(folder, scale, glyphs).c_str(), pick(folder, scale, limits).c_str(), offset * scale);
    if (!font_ok(f))
        g.missing++;
    return f;
}

}  // namespace

void interface_images_load(InterfaceImages& g, const std::string& folder, int scale)
{
    g.missing = 0;
    g.palette = load(g, folder, scale, "palette.png");
    g.gradient = load(g, folder, scale, "gradient.png");
    g.rainbow = load(g, folder, scale, "rainbow.png");
    g.menu_shadow = load(g, folder, scale, "menu_shadow.png");
    g.menu_bar = load(g, folder, scale, "menu_bar.png");
    g.menu_line = load(g, folder, scale, "menu_line.png");
    // The offsets put the text's y near the middle of its letters.
    g.font12 = load_font(g, folder, scale, 12, -5);
    g.font16 = load_font(g, folder, scale, 16, -7);
    g.font24 = load_font(g, folder, scale, 24, -11);
}

uint32_t palette_colour(const InterfaceImages& g, int index, uint32_t fallback)
{
    if (index < 0 || index >= g.palette.width || g.palette.pixels.empty())
        return fallback;
    return g.palette.pixels[(size_t)index];
}
