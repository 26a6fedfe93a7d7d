// The button bar drawn into the screen buffer. Runs on every interface redraw, so it only
// copies prepared pictures and draws a few short texts.
#include <algorithm>
#include <string>

#include "app/bar_state.h"
#include "app/input.h"
#include "app/interface_images.h"
#include "app/shell.h"
#include "app/view_texts.h"
#include "support/paths.h"
#include "support/palette_entries.h"
#include "support/png_load.h"

namespace {

struct SlotLook {
    int slot;
    const char* icon;   // picture name, or null
    const char* text;   // text on or under the face, or null
};

const SlotLook looks[] = {
    {slot_play, "play.png", nullptr},   {slot_open, "open.png", "Open"},   {slot_save, "save.png", "Save"},
    {slot_quit, "quit.png", "Quit"},    {slot_cursor, "mouse.png", nullptr}, {slot_move, "move.png", nullptr},
    {slot_dark_spray, "spray_black.png", nullptr}, {slot_white_spray, "spray_white.png", nullptr},
    {slot_brighten_spray, "flashlight.png", nullptr}, {slot_smart_erase, "roadroller.png", nullptr},
    {slot_rectangle, "rectool.png", nullptr}, {slot_flip, nullptr, "FLIP"}, {slot_help, nullptr, "Help"},
    {slot_invert, nullptr, "INV."},     {slot_mask_invert, nullptr, "M.I."}, {slot_vision_mode, nullptr, "V.M."},
    {slot_lossless, nullptr, "Lossless"}, {slot_harmonics, "harmonics.png", nullptr},
    {slot_magnet, "magnet.png", nullptr},
};

Pixmap load_picture(const std::string& folder, int scale, const char* name)
{
    if (scale >= 2) {
        const std::string hi = folder + "/2x/" + name;
        if (file_exists(hi))
            return pixmap_load_png(hi.c_str());
    }
    return pixmap_load_png((folder + "/" + name).c_str());
}

// A picture brought to w × h once, so that drawing it is a plain copy. Blended over
// transparent pixels the colours come out multiplied by their alpha, which is undone.
Pixmap resized(const Pixmap& p, int w, int h)
{
    if (p.width <= 0 || p.height <= 0 || (p.width == w && p.height == h))
        return p;
    Pixmap out = pixmap_create(w, h, 0);
    blit_scaled(raster_of(out), 0, 0, w, h, view_of(p), ScaleFilter::bilinear);
    for (uint32_t& c : out.pixels) {
        const uint32_t a = c >> 24;
        if (a == 0 || a == 255)
            continue;
        auto channel = [&](int shift) { return std::min<uint32_t>(255, (((c >> shift) & 255) * 255 + a / 2) / a) << shift; };
        c = (a << 24) | channel(16) | channel(8) | channel(0);
    }
    return out;
}

void load_images(BarImages& im, int scale)
{
    im.loaded = true;
    const std::string folder = interface_folder();
    // The knob and its animation frames at the size the bar's geometry gives the knob.
    const int size = knob_geometry(BarControl{}, scale).image_size;
    im.knob = load_picture(folder, scale, "knob.png");
    im.knob_anim = load_picture(folder, scale, "knob_anim.png");
    if (im.knob.height > 0 && im.knob_anim.height >= im.knob.height) {
        const int frames = im.knob_anim.height / im.knob.height;
        im.knob_anim = resized(im.knob_anim, size, frames * size);
    }
    im.knob = resized(im.knob, size, size);
    im.corner = load_picture(folder, scale, "corner.png");
    im.faces[face_small] = load_picture(folder, scale, "button_small.png");
    im.faces[face_med] = load_picture(folder, scale, "button_med.png");
    im.faces[face_big] = load_picture(folder, scale, "button_big.png");
    im.pause = load_picture(folder, scale, "pause.png");
    for (const SlotLook& l : looks)
        if (l.icon)
            im.icons[l.slot] = load_picture(folder, scale, l.icon);
}

void centred_text(const Raster& r, const Font& f, int x, int y, const std::string& text, uint32_t colour)
{
    draw_text(r, f, x - text_width(f, text) / 2, y, text, colour);
}

void draw_face(const Raster& screen, const Pixmap& face, const BarControl& c, bool down, uint32_t fallback)
{
    if (face.width <= 0 || face.height < 2) {
        fill_rect(screen, c.left, c.top, c.width, c.height, down ? fallback : 0xFF30343Au);
        draw_rect_outline(screen, c.left, c.top, c.width, c.height, 0xFF0C0D10u);
        return;
    }
    const int h = face.height / 2;
    const ImageView state = sub_view(view_of(face), 0, down ? h : 0, face.width, h);
    if (face.width == c.width && h == c.height)
        blit(screen, c.left, c.top, state);
    else
        blit_scaled(screen, c.left, c.top, c.width, c.height, state, ScaleFilter::bilinear);
}

void draw_knob(Shell& sh, const Raster& screen, const BarControl& c, int knob, bool locked)
{
    const BarImages& im = sh.bar.images;
    const KnobGeometry g = knob_geometry(c, sh.scale);
    const Font& font = sh.gfx.font12;
    const uint32_t text = palette_colour(sh.gfx, palette_text, 0xFFE0E0E0u);
    const uint32_t dimmed = palette_colour(sh.gfx, palette_text_dimmed, 0xFF808088u);
    if (im.knob.width > 0)
        blit(screen, g.image_x, g.image_y, view_of(im.knob));
    else
        draw_rect_outline(screen, g.image_x, g.image_y, g.image_size, g.image_size, dimmed);
    if (im.knob_anim.width > 0 && im.knob.height > 0) {
        const int h = im.knob.height;
        const int frame = std::clamp(c.frame, 0, std::max(0, im.knob_anim.height / h - 1));
        blit(screen, g.image_x, g.image_y, sub_view(view_of(im.knob_anim), 0, frame * h, im.knob_anim.width, h));
    }
    const char* const* labels = knob_scale_labels(knob);
    for (int i = 0; i < 7; i++)
        centred_text(screen, font, g.label_x[i], g.label_y[i], labels[i], dimmed);
    centred_text(screen, font, g.centre_x, g.name_y, knob_name(knob), text);
    centred_text(screen, font, g.centre_x, g.unit_y, knob_unit(knob), dimmed);
    // The value sits on the knob's face: a dark backing keeps the indicator from crossing it.
    const std::string value = knob_value_text(knob, sh.knobs.value[knob]);
    const int w = text_width(font, value) + 4 * sh.scale;
    blend_rect(screen, g.centre_x - w / 2, g.value_y + font.offset, w, font_height(font), 0xC8202428u);
    centred_text(screen, font, g.centre_x, g.value_y, value, locked ? dimmed : text);
}

void draw_button(Shell& sh, const Raster& screen, const BarControl& c, int slot, const SlotLook& look)
{
    const BarImages& im = sh.bar.images;
    const Font& font = sh.gfx.font12;
    const uint32_t text = palette_colour(sh.gfx, palette_text, 0xFFE0E0E0u);
    const uint32_t accent = palette_colour(sh.gfx, palette_accent, 0xFFFFC040u);
    const bool down = c.type == control_hover ? c.hover : c.pressed != 0;
    draw_face(screen, im.faces[c.face], c, down, accent);
    const Pixmap* icon = look.icon ? &im.icons[slot] : nullptr;
    if (slot == slot_play && c.pressed == 2)
        icon = &im.pause;
    const char* label = slot == slot_play ? play_button_label(sh.app.playback.play_state.load()) : look.text;
    const bool room_for_text = c.height >= 40 * sh.scale;
    if (icon && icon->width > 0) {
        const int iy = room_for_text && label ? c.top + sh.scale : c.y - icon->height / 2;
        blit(screen, c.x - icon->width / 2, iy, view_of(*icon));
        if (room_for_text && label)
            centred_text(screen, font, c.x, c.top + c.height - 9 * sh.scale, label, text);
    } else if (label) {
        centred_text(screen, font, c.x, c.y, label, text);
    }
}

// The short names on some buttons are explained while the pointer rests on them.
void draw_tooltip(Shell& sh, const Raster& screen)
{
    if (sh.input.mode != pointer_idle)
        return;
    static const struct {
        int slot;
        const char* lines[2];
    } tips[] = {{slot_flip, {"Horizontal flip", nullptr}},
                {slot_invert, {"Invert", nullptr}},
                {slot_mask_invert, {"Mask", "Invert"}},
                {slot_vision_mode, {"Vision Mode", nullptr}}};
    for (const auto& tip : tips) {
        const BarControl& c = sh.bar.bar.controls[tip.slot];
        if (c.type >= control_none || !control_contains(c, sh.pointer_x, sh.pointer_y))
            continue;
        const Font& font = sh.gfx.font12;
        const int s = sh.scale, line = font_height(font);
        const int lines = tip.lines[1] ? 2 : 1;
        int w = 0;
        for (int i = 0; i < lines; i++)
            w = std::max(w, text_width(font, tip.lines[i]));
        w += 8 * s;
        const int h = lines * line + 4 * s;
        const int x = std::clamp(c.x - w / 2, 0, std::max(0, sh.width - w)), y = c.top - h - 3 * s;
        fill_rect(screen, x, y, w, h, palette_colour(sh.gfx, palette_menu_background, 0xFF303038u));
        draw_rect_outline(screen, x, y, w, h, palette_colour(sh.gfx, palette_panel_edge, 0xFF45454Cu));
        for (int i = 0; i < lines; i++)
            draw_text(screen, font, x + 4 * s, y + 2 * s + line * i + line / 2, tip.lines[i],
                      palette_colour(sh.gfx, palette_text, 0xFFE0E0E0u));
        return;
    }
}

}  // namespace

void bar_draw(Shell& sh, const ScreenLayout& l)
{
    BarState& b = sh.bar;
    if (!b.images.loaded)
        load_images(b.images, sh.scale);
    bar_sync(sh);
    Raster screen = raster_of(sh.screen);
    fill_rect(screen, 0, l.bar_y, sh.width, l.bar_height, palette_colour(sh.gfx, palette_panel, 0xFF2A2A30u));
    draw_hline(screen, 0, l.bar_y, sh.width, palette_colour(sh.gfx, palette_panel_edge, 0xFF45454Cu));
    if (b.images.corner.width > 0)
        blit(screen, 0, l.bar_y, view_of(b.images.corner));

    const bool lossless = sh.app.project.lossless;
    const bool unlock = sh.input.held.unlock;
    for (int k = 0; k < knob_count; k++) {
        const BarControl& c = b.bar.controls[knob_slot(k)];
        if (c.type == control_knob)
            draw_knob(sh, screen, c, k, c.lossless_lock && lossless && !unlock);
    }
    for (const SlotLook& look : looks) {
        const BarControl& c = b.bar.controls[look.slot];
        if (c.type < control_none)
            draw_button(sh, screen, c, look.slot, look);
    }

    const uint32_t text = palette_colour(sh.gfx, palette_text, 0xFFE0E0E0u);
    const LosslessTexts lt = lossless_texts(sh.app);
    const int line = font_height(sh.gfx.font12);
    draw_text(screen, sh.gfx.font16, b.bar.lossless_text_x, b.bar.lossless_text_y, lt.state, lossless ? palette_colour(sh.gfx, palette_accent, text) : text);
    if (!b.bar.compact && !lt.reference.empty())
        draw_text(screen, sh.gfx.font12, b.bar.lossless_text_x, b.bar.lossless_text_y + line + 4 * sh.scale, lt.reference, text);

    draw_tooltip(sh, screen);

    // The status line, cut at the bar's right end.
    const std::string status = bar_status_text(sh, l);
    const Raster area = sub_raster(screen, b.bar.status_x, b.bar.status_y - line, b.bar.status_width, 2 * line);
    draw_text(area, sh.gfx.font12, 0, std::min(line, b.bar.status_y), status, text);
}
