#include "app/window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/shell.h"
#include "support/log.h"
#include "support/prefs.h"

int window_interface_scale()
{
    for (const char* name : {"SONOGRAPHICA_SCALE", "GDK_SCALE"}) {
        const char* v = getenv(name);
        if (v && *v)
            return atoi(v) >= 2 ? 2 : 1;
    }
    float dpi = 0.0f;
    if (SDL_GetDisplayDPI(0, &dpi, nullptr, nullptr) == 0 && dpi >= 192.0f)
        return 2;
    return 1;
}

bool window_create(Shell& sh)
{
    SDL_SetHint("SDL_MOUSE_DOUBLE_CLICK_RADIUS", "4");
    SDL_Rect usable = {0, 0, 1280, 800};
    if (SDL_GetDisplayUsableBounds(0, &usable) != 0)
        SDL_GetDisplayBounds(0, &usable);

    double stored_w = 0, stored_h = 0;
    if (sh.app.prefs)
        pref_get_two_numbers(*sh.app.prefs, "Interface:Window dimensions", 0, "x", 0, "", &stored_w, &stored_h);
    int w = usable.w, h = usable.h, x = usable.x, y = usable.y;
    if (stored_w > 0 && stored_h > 0) {
        w = (int)stored_w;
        h = (int)stored_h;
        x = usable.x + (usable.w - w) / 2;
        y = usable.y + (w <= usable.w - 20 ? 40 : 30);
    }
    // Without a screen (the offscreen driver of headless runs) there is nothing for a GPU to
    // do: the software renderer copies the buffer and no graphics driver is loaded.
    const char* video = SDL_GetCurrentVideoDriver();
    const bool headless = video && !strcmp(video, "offscreen");
    if (headless)
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");

    // Headless runs (screenshots, tests) ask for an exact size and get it, not maximised.
    int forced_w = 0, forced_h = 0;
    if (const char* size = getenv("SONOGRAPHICA_WINDOW_SIZE"); size && sscanf(size, "%dx%d", &forced_w, &forced_h) == 2 &&
                                                                forced_w > 0 && forced_h > 0) {
        w = forced_w;
        h = forced_h;
    }
    sh.window = SDL_CreateWindow(SONOGRAPHICA_TITLE, x, y, w, h, SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI);
    if (!sh.window) {
        log_printf(stderr, "SDL_CreateWindow failed: %s\n", SDL_GetError());
        return false;
    }
    if (forced_w == 0)
        SDL_MaximizeWindow(sh.window);

    SDL_SetHint(SDL_HINT_RENDER_DRIVER, headless ? "software" : "opengl");
    sh.renderer = headless ? nullptr : SDL_CreateRenderer(sh.window, -1, 0);
    if (!sh.renderer)
        sh.renderer = SDL_CreateRenderer(sh.window, -1, SDL_RENDERER_SOFTWARE);
    if (!sh.renderer) {
        log_printf(stderr, "SDL_CreateRenderer failed: %s\n", SDL_GetError());
        return false;
    }
    window_update_size(sh);
    if (sh.app.prefs && !(SDL_GetWindowFlags(sh.window) & SDL_WINDOW_MAXIMIZED))
        pref_set_two_numbers(*sh.app.prefs, "Interface:Window dimensions", sh.width / sh.scale, "x",
                             sh.height / sh.scale, "");
    return sh.texture != nullptr;
}

bool window_update_size(Shell& sh)
{
    int w = 0, h = 0;
    if (SDL_GetRendererOutputSize(sh.renderer, &w, &h) != 0)
        SDL_GetWindowSize(sh.window, &w, &h);
    w = w > 0 ? w : 1;
    h = h > 0 ? h : 1;
    if (w == sh.width && h == sh.height && sh.texture)
        return false;
    sh.width = w;
    sh.height = h;
    sh.screen = pixmap_create(w, h, 0xFF000000u);
    if (sh.texture)
        SDL_DestroyTexture(sh.texture);
    sh.texture = SDL_CreateTexture(sh.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, w, h);
    if (!sh.texture)
        log_printf(stderr, "SDL_CreateTexture failed: %s\n", SDL_GetError());
    sh.texture_width = w;
    sh.texture_height = h;
    return true;
}

void window_present(Shell& sh)
{
    if (!sh.texture)
        return;
    if (sh.dirty_count == 0) {
        SDL_UpdateTexture(sh.texture, nullptr, sh.screen.pixels.data(), sh.screen.width * 4);
        SDL_RenderCopy(sh.renderer, sh.texture, nullptr, nullptr);
    } else {
        // Only what changed goes up; a software renderer keeps its picture between presents,
        // so it copies only those rectangles too, while a GPU one draws the whole texture.
        SDL_RendererInfo info = {};
        SDL_GetRendererInfo(sh.renderer, &info);
        const bool software = (info.flags & SDL_RENDERER_SOFTWARE) != 0;
        for (int i = 0; i < sh.dirty_count; i++) {
            const SDL_Rect r = {sh.dirty[i][0], sh.dirty[i][1], sh.dirty[i][2], sh.dirty[i][3]};
            const uint32_t* first = sh.screen.pixels.data() + (size_t)r.y * (size_t)sh.screen.width + (size_t)r.x;
            SDL_UpdateTexture(sh.texture, &r, first, sh.screen.width * 4);
        }
        for (int i = 0; i < sh.dirty_count && software; i++) {
            const SDL_Rect r = {sh.dirty[i][0], sh.dirty[i][1], sh.dirty[i][2], sh.dirty[i][3]};
            SDL_RenderCopy(sh.renderer, sh.texture, &r, &r);
        }
        if (!software)
            SDL_RenderCopy(sh.renderer, sh.texture, nullptr, nullptr);
        sh.dirty_count = 0;
        sh.partial_presents++;
    }
    SDL_RenderPresent(sh.renderer);
    sh.presents++;
}

void window_destroy(Shell& sh)
{
    if (sh.texture)
        SDL_DestroyTexture(sh.texture);
    if (sh.renderer)
        SDL_DestroyRenderer(sh.renderer);
    if (sh.window)
        SDL_DestroyWindow(sh.window);
    sh.texture = nullptr;
    sh.renderer = nullptr;
    sh.window = nullptr;
}
