#include "app/screen.h"

#include <stb/stb_image_write.h>

#include "app/bar_state.h"
#include "app/view_draw.h"
#include "app/layout.h"
#include "app/menu_shell.h"
#include "app/shell.h"
#include "app/ui_input.h"
#include "support/log.h"
#include "support/palette_entries.h"

namespace {

// The bar's picture repeated across the window; a plain band when the picture is missing.
void draw_menu_bar(Shell& sh, const ScreenLayout& l)
{
    Raster screen = raster_of(sh.screen);
    Raster bar = sub_raster(screen, 0, 0, sh.width, l.menu_bar_height);
    const Pixmap& tile = sh.gfx.menu_bar;
    if (tile.width <= 0 || tile.height <= 0) {
        fill_rect(bar, 0, 0, bar.width, bar.height, palette_colour(sh.gfx, palette_menu_background, 0xFF303038u));
        return;
    }
    ImageView v = view_of(tile);
    if (tile.height == bar.height) {
        for (int x = 0; x < bar.width; x += tile.width)
            blit(bar, x, 0, v);
    } else {
        for (int x = 0; x < bar.width; x += tile.width)
            blit_scaled(bar, x, 0, tile.width, bar.height, v, ScaleFilter::bilinear);
    }
}

}  // namespace

void screen_draw(Shell& sh)
{
    App& app = sh.app;
    const int waveform_height = sh.startup.waveform_height;
    ScreenLayout l = screen_layout(sh.width, sh.height, sh.scale, waveform_height, app.project.lossless);
    Raster screen = raster_of(sh.screen);
    raster_fill(screen, palette_colour(sh.gfx, palette_window_background, 0xFF202024u));
    draw_menu_bar(sh, l);

    view_draw(sh, l);
    bar_draw(sh, l);
    view_draw_labels(sh, l);
    draw_menus(sh);
    ui_draw(sh);  // the floating windows above everything
}

bool screen_save_png(const Shell& sh, const char* path)
{
    if (sh.screen.width <= 0 || sh.screen.height <= 0) {
        log_printf(stderr, "Error: no screen to save to %s\n", path);
        return false;
    }
    // The buffer holds 0xAARRGGBB words; PNG wants R, G, B bytes.
    std::vector<unsigned char> rgb((size_t)sh.screen.width * (size_t)sh.screen.height * 3);
    for (size_t i = 0; i < sh.screen.pixels.size(); i++) {
        uint32_t c = sh.screen.pixels[i];
        rgb[i * 3] = (unsigned char)(c >> 16);
        rgb[i * 3 + 1] = (unsigned char)(c >> 8);
        rgb[i * 3 + 2] = (unsigned char)c;
    }
    if (!stbi_write_png(path, sh.screen.width, sh.screen.height, 3, rgb.data(), sh.screen.width * 3)) {
        log_printf(stderr, "Error: couldn't write the screenshot %s\n", path);
        return false;
    }
    return true;
}
