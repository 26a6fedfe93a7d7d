#include "support/widgets.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "support/expression.h"

namespace {

constexpr uint32_t colour_frame = 0xFF2C2C34u;
constexpr uint32_t colour_title = 0xFF3C4658u;
constexpr uint32_t colour_edge = 0xFF60606Cu;
constexpr uint32_t colour_text = 0xFFE0E0E0u;
constexpr uint32_t colour_field = 0xFF18181Cu;
constexpr uint32_t colour_button = 0xFF464652u;
constexpr uint32_t colour_button_hot = 0xFF565666u;
constexpr uint32_t colour_accent = 0xFF6FA8DCu;
constexpr uint32_t colour_selection = 0xFF3A5A88u;

// Without a font the windows still draw their frames and boxes, only the texts are missing.
bool drawing(const WidgetContext& ctx) { return ctx.target.pixels != nullptr; }

bool has_font(const WidgetContext& ctx) { return ctx.font && font_ok(*ctx.font); }

int text_w(const WidgetContext& ctx, std::string_view s) { return has_font(ctx) ? text_width_utf8(*ctx.font, s) : 0; }

void text_at(WidgetContext& ctx, int x, int y, std::string_view s, uint32_t colour)
{
    if (drawing(ctx) && has_font(ctx))
        draw_text_utf8(ctx.target, *ctx.font, x, y, s, colour);
}

bool hovered(const WidgetContext& ctx, WidgetRect r) { return rect_contains(r, ctx.input.pointer_x, ctx.input.pointer_y); }

// A press on `r` makes `id` the pressed widget; true on the release over it.
bool click(WidgetContext& ctx, int id, WidgetRect r)
{
    if (ctx.input.left_pressed && hovered(ctx, r) && !ctx.pointer_captured) {
        ctx.pressed_id = id;
        ctx.pointer_captured = true;
    }
    if (ctx.pressed_id == id && ctx.input.left_released) {
        ctx.pressed_id = 0;
        return hovered(ctx, r);
    }
    return false;
}

size_t previous_char(const std::string& s, size_t pos)
{
    if (pos == 0)
        return 0;
    pos--;
    while (pos > 0 && ((unsigned char)s[pos] & 0xC0) == 0x80)
        pos--;
    return pos;
}

size_t next_char(const std::string& s, size_t pos)
{
    if (pos >= s.size())
        return s.size();
    pos++;
    while (pos < s.size() && ((unsigned char)s[pos] & 0xC0) == 0x80)
        pos++;
    return pos;
}

bool erase_selection(TextField& f)
{
    if (f.cursor == f.anchor)
        return false;
    const size_t a = std::min(f.cursor, f.anchor), b = std::max(f.cursor, f.anchor);
    f.text.erase(a, b - a);
    f.cursor = f.anchor = a;
    return true;
}

// Moves the cursor; with Shift the anchor stays, so the selection grows.
void move_cursor(TextField& f, size_t to, int mods)
{
    f.cursor = to;
    if (!(mods & wmod_shift))
        f.anchor = to;
}

}  // namespace

void widgets_begin(WidgetContext& ctx, WidgetInput input, Raster target)
{
    ctx.input = std::move(input);
    ctx.target = target;
    ctx.pointer_captured = false;
    ctx.focus_seen = false;
    // A press that ended unseen is forgotten; the drawing pass only looks, so it keeps a
    // press whose release has not been handled yet.
    if (!target.pixels && !ctx.input.left_down && !ctx.input.left_released)
        ctx.pressed_id = 0;
}

bool widgets_drawing(const WidgetContext& ctx) { return drawing(ctx); }

void widgets_end(WidgetContext& ctx)
{
    if (!ctx.focus_seen)
        ctx.focus = nullptr;
}

void widgets_focus(WidgetContext& ctx, TextField* f)
{
    ctx.focus = f;
    ctx.focus_seen = true;
    if (f)
        f->anchor = 0, f->cursor = f->text.size();
}

// ---- Text fields ----

void text_field_set(TextField& f, std::string_view text)
{
    f.text.assign(text);
    f.cursor = f.anchor = f.text.size();
    f.scroll = 0;
}

bool text_field_insert(TextField& f, std::string_view text)
{
    std::string clean;
    for (char c : text)
        if ((unsigned char)c >= 32 && c != 127)
            clean += c;
    const bool erased = erase_selection(f);
    if (clean.empty())
        return erased;
    f.text.insert(f.cursor, clean);
    f.cursor += clean.size();
    f.anchor = f.cursor;
    return true;
}

std::string text_field_selection(const TextField& f)
{
    const size_t a = std::min(f.cursor, f.anchor), b = std::max(f.cursor, f.anchor);
    return f.text.substr(a, b - a);
}

int text_field_key(TextField& f, const WidgetKey& k, const WidgetContext* clip)
{
    f.cursor = std::min(f.cursor, f.text.size());
    f.anchor = std::min(f.anchor, f.text.size());
    switch (k.key) {
    case wkey_left:
        if (f.cursor != f.anchor && !(k.mods & wmod_shift))
            move_cursor(f, std::min(f.cursor, f.anchor), 0);
        else
            move_cursor(f, previous_char(f.text, f.cursor), k.mods);
        return 0;
    case wkey_right:
        if (f.cursor != f.anchor && !(k.mods & wmod_shift))
            move_cursor(f, std::max(f.cursor, f.anchor), 0);
        else
            move_cursor(f, next_char(f.text, f.cursor), k.mods);
        return 0;
    case wkey_home:
        move_cursor(f, 0, k.mods);
        return 0;
    case wkey_end:
        move_cursor(f, f.text.size(), k.mods);
        return 0;
    case wkey_backspace:
        if (erase_selection(f))
            return field_changed;
        if (f.cursor == 0)
            return 0;
        {
            const size_t p = previous_char(f.text, f.cursor);
            f.text.erase(p, f.cursor - p);
            f.cursor = f.anchor = p;
        }
        return field_changed;
    case wkey_delete:
        if (erase_selection(f))
            return field_changed;
        if (f.cursor >= f.text.size())
            return 0;
        f.text.erase(f.cursor, next_char(f.text, f.cursor) - f.cursor);
        f.anchor = f.cursor;
        return field_changed;
    case wkey_select_all:
        f.anchor = 0;
        f.cursor = f.text.size();
        return 0;
    case wkey_copy:
    case wkey_cut:
        if (f.cursor == f.anchor)
            return 0;
        if (clip && clip->clipboard_set)
            clip->clipboard_set(clip->clipboard_context, text_field_selection(f));
        if (k.key == wkey_cut) {
            erase_selection(f);
            return field_changed;
        }
        return 0;
    case wkey_paste: {
        if (!clip || !clip->clipboard_get)
            return 0;
        std::string pasted = clip->clipboard_get(clip->clipboard_context);
        // One line only: the paste ends at the first line break.
        pasted = pasted.substr(0, pasted.find_first_of("\r\n"));
        return text_field_insert(f, pasted) ? field_changed : 0;
    }
    case wkey_enter:
        return field_entered;
    case wkey_escape:
        return field_escaped;
    default:
        return 0;
    }
}

int text_field(WidgetContext& ctx, TextField& f, WidgetRect r)
{
    const WidgetInput& in = ctx.input;
    if (in.left_pressed) {
        if (hovered(ctx, r) && !ctx.pointer_captured) {
            ctx.pointer_captured = true;
            if (ctx.focus != &f)
                widgets_focus(ctx, &f);
            // The click puts the cursor at the nearest character boundary.
            const int px = in.pointer_x - (r.x + 4 * ctx.scale) + f.scroll;
            size_t best = 0;
            for (size_t p = 0; p <= f.text.size(); p = next_char(f.text, p)) {
                if (text_w(ctx, std::string_view(f.text).substr(0, p)) <= px)
                    best = p;
                if (p == f.text.size())
                    break;
            }
            f.cursor = best;
            if (!(in.mods & wmod_shift))
                f.anchor = best;
        } else if (ctx.focus == &f && !hovered(ctx, r)) {
            ctx.focus = nullptr;  // a press anywhere else, on another widget too, ends the editing
        }
    }
    int flags = 0;
    if (ctx.focus == &f) {
        ctx.focus_seen = true;
        if (!in.text.empty() && text_field_insert(f, in.text))
            flags |= field_changed;
        for (const WidgetKey& k : in.keys) {
            flags |= text_field_key(f, k, &ctx);
            if (flags & field_escaped) {
                ctx.focus = nullptr;
                break;
            }
        }
    }
    if (drawing(ctx)) {
        const bool focused = ctx.focus == &f;
        fill_rect(ctx.target, r.x, r.y, r.w, r.h, colour_field);
        draw_rect_outline(ctx.target, r.x, r.y, r.w, r.h, focused ? colour_accent : colour_edge);
        const int pad = 4 * ctx.scale;
        Raster inner = sub_raster(ctx.target, r.x + 1, r.y + 1, r.w - 2, r.h - 2);
        const int cx = text_w(ctx, std::string_view(f.text).substr(0, std::min(f.cursor, f.text.size())));
        // Keep the cursor visible.
        if (cx - f.scroll > r.w - 2 * pad)
            f.scroll = cx - (r.w - 2 * pad);
        if (cx < f.scroll)
            f.scroll = cx;
        const int x0 = r.x + pad - f.scroll - std::max(r.x + 1, 0);
        const int ymid = r.h / 2 - 1 - std::max(0, -(r.y + 1));
        if (focused && f.cursor != f.anchor) {
            const size_t a = std::min(f.cursor, f.anchor), b = std::max(f.cursor, f.anchor);
            const int xa = text_w(ctx, std::string_view(f.text).substr(0, a));
            const int xb = text_w(ctx, std::string_view(f.text).substr(0, b));
            fill_rect(inner, x0 + xa, 1, xb - xa, inner.height - 2, colour_selection);
        }
        if (has_font(ctx))
            draw_text_utf8(inner, *ctx.font, x0, ymid, f.text, colour_text);
        if (focused)
            draw_vline(inner, x0 + cx, 2, inner.height - 4, colour_text);
    }
    return flags;
}

// ---- Buttons, checkboxes, radios, labels ----

bool button(WidgetContext& ctx, int id, WidgetRect r, std::string_view text)
{
    const bool clicked = click(ctx, id, r);
    if (drawing(ctx)) {
        const bool down = ctx.pressed_id == id && ctx.input.left_down && hovered(ctx, r);
        fill_rect(ctx.target, r.x, r.y, r.w, r.h, down ? colour_accent : hovered(ctx, r) ? colour_button_hot : colour_button);
        draw_rect_outline(ctx.target, r.x, r.y, r.w, r.h, colour_edge);
        text_at(ctx, r.x + (r.w - text_w(ctx, text)) / 2, r.y + r.h / 2 - 1, text, colour_text);
    }
    return clicked;
}

namespace {
void mark_box(WidgetContext& ctx, WidgetRect r, bool round, bool on, std::string_view text)
{
    if (!drawing(ctx))
        return;
    const int s = std::min(r.h, 12 * ctx.scale);
    const int y = r.y + (r.h - s) / 2;
    fill_rect(ctx.target, r.x, y, s, s, colour_field);
    if (!round)
        draw_rect_outline(ctx.target, r.x, y, s, s, colour_edge);
    else {
        draw_hline(ctx.target, r.x + 2, y, s - 4, colour_edge);
        draw_hline(ctx.target, r.x + 2, y + s - 1, s - 4, colour_edge);
        draw_vline(ctx.target, r.x, y + 2, s - 4, colour_edge);
        draw_vline(ctx.target, r.x + s - 1, y + 2, s - 4, colour_edge);
    }
    if (on)
        fill_rect(ctx.target, r.x + 3 * ctx.scale, y + 3 * ctx.scale, s - 6 * ctx.scale, s - 6 * ctx.scale, colour_accent);
    text_at(ctx, r.x + s + 5 * ctx.scale, r.y + r.h / 2 - 1, text, colour_text);
}
}  // namespace

bool checkbox(WidgetContext& ctx, int id, WidgetRect r, std::string_view text, int& value)
{
    bool changed = false;
    if (click(ctx, id, r)) {
        value = value ? 0 : 1;
        changed = true;
    }
    mark_box(ctx, r, false, value != 0, text);
    return changed;
}

bool radio(WidgetContext& ctx, int id, WidgetRect r, std::string_view text, int& group, int element)
{
    bool changed = false;
    if (click(ctx, id, r) && group != element) {
        group = element;
        changed = true;
    }
    mark_box(ctx, r, true, group == element, text);
    return changed;
}

void label(WidgetContext& ctx, WidgetRect r, std::string_view text, uint32_t colour)
{
    text_at(ctx, r.x, r.y + r.h / 2 - 1, text, colour);
}

int label_wrapped(WidgetContext& ctx, WidgetRect r, std::string_view text, uint32_t colour)
{
    if (!has_font(ctx))
        return 0;
    const int line_h = font_height(*ctx.font);
    int y = r.y + line_h / 2;
    size_t start = 0;
    while (start < text.size()) {
        // The longest run of whole words that fits.
        size_t end = start, fit = start;
        while (end < text.size()) {
            size_t next = text.find(' ', end + 1);
            if (next == std::string_view::npos)
                next = text.size();
            if (text_w(ctx, text.substr(start, next - start)) > r.w && fit > start)
                break;
            fit = end = next;
        }
        text_at(ctx, r.x, y, text.substr(start, fit - start), colour);
        y += line_h;
        start = fit;
        while (start < text.size() && text[start] == ' ')
            start++;
    }
    return y - line_h / 2 - r.y;
}

void box(WidgetContext& ctx, WidgetRect r)
{
    if (drawing(ctx)) {
        fill_rect(ctx.target, r.x, r.y, r.w, r.h, 0xFF222228u);
        draw_rect_outline(ctx.target, r.x, r.y, r.w, r.h, colour_edge);
    }
}

// ---- Drop-down lists ----

bool drop_down(WidgetContext& ctx, int id, WidgetRect r, DropDown& d)
{
    bool changed = false;
    const int n = (int)d.items.size();
    if (d.open && ctx.input.left_pressed && !ctx.pointer_captured) {
        // The list below the box takes the click; a click elsewhere closes it unchanged.
        WidgetRect list = {r.x, r.y + r.h, r.w, r.h * n};
        if (hovered(ctx, list)) {
            const int k = (ctx.input.pointer_y - list.y) / std::max(r.h, 1);
            if (k >= 0 && k < n && k != d.chosen) {
                d.chosen = k;
                changed = true;
            }
            ctx.pointer_captured = true;
        }
        d.open = false;
        if (hovered(ctx, r))
            ctx.pointer_captured = true;
    } else if (click(ctx, id, r) && n > 0) {
        d.open = true;
    }
    if (drawing(ctx)) {
        fill_rect(ctx.target, r.x, r.y, r.w, r.h, colour_field);
        draw_rect_outline(ctx.target, r.x, r.y, r.w, r.h, colour_edge);
        if (d.chosen >= 0 && d.chosen < n)
            text_at(ctx, r.x + 4 * ctx.scale, r.y + r.h / 2 - 1, d.items[(size_t)d.chosen], colour_text);
        text_at(ctx, r.x + r.w - 12 * ctx.scale, r.y + r.h / 2 - 1, "v", colour_text);
        if (d.open)
            for (int k = 0; k < n; k++) {
                const int y = r.y + r.h * (k + 1);
                fill_rect(ctx.target, r.x, y, r.w, r.h, k == d.chosen ? colour_selection : colour_frame);
                text_at(ctx, r.x + 4 * ctx.scale, y + r.h / 2 - 1, d.items[(size_t)k], colour_text);
            }
    }
    return changed;
}

// ---- Knobs ----

double knob_value_at(const KnobScale& s, double t)
{
    // The ends are returned as they are, so a knob turned fully reaches its limits exactly.
    if (!(t > 0.0))
        return s.min;
    if (t >= 1.0)
        return s.max;
    double v;
    switch (s.kind) {
    case knob_log:
        v = std::exp(std::log(s.min) + t * (std::log(s.max) - std::log(s.min)));
        break;
    case knob_tan: {
        const double p = std::atan(s.min / s.arg), q = std::atan(s.max / s.arg);
        v = s.arg * std::tan(p + t * (q - p));
        break;
    }
    default:
        v = s.min + t * (s.max - s.min);
        break;
    }
    return std::clamp(v, std::min(s.min, s.max), std::max(s.min, s.max));
}

double knob_travel_of(const KnobScale& s, double v)
{
    if (std::isnan(v))
        return 0.0;
    if (v == s.min)
        return 0.0;
    if (v == s.max)
        return 1.0;
    double t;
    switch (s.kind) {
    case knob_log:
        t = (std::log(v) - std::log(s.min)) / (std::log(s.max) - std::log(s.min));
        break;
    case knob_tan: {
        const double p = std::atan(s.min / s.arg), q = std::atan(s.max / s.arg);
        t = (std::atan(v / s.arg) - p) / (q - p);
        break;
    }
    default:
        t = (v - s.min) / (s.max - s.min);
        break;
    }
    return std::isnan(t) ? 0.0 : std::clamp(t, 0.0, 1.0);
}

void knob_setup(Knob& k, double min, double def, double max, int kind, double arg, const char* format, const char* unit)
{
    k.scale = {min, max, kind, arg};
    k.default_value = def;
    k.format = format;
    k.unit = unit;
    knob_set_value(k, def);
}

double knob_value(const Knob& k) { return k.value; }

void knob_set_value(Knob& k, double value)
{
    k.t = knob_travel_of(k.scale, value);
    k.value = k.t <= 0.0 ? k.scale.min : k.t >= 1.0 ? k.scale.max : value;
}

double knob_drag_step(int mods)
{
    if ((mods & wmod_shift) && (mods & wmod_ctrl))
        return 1.0 / 20000.0;
    if (mods & wmod_shift)
        return 1.0 / 2000.0;
    return 1.0 / 200.0;
}

int knob(WidgetContext& ctx, int id, WidgetRect r, std::string_view name, Knob& k)
{
    const WidgetInput& in = ctx.input;
    int flags = 0;
    if (k.editing) {
        WidgetRect er = {r.x, r.y + r.h - 20 * ctx.scale, r.w, 20 * ctx.scale};
        const int f = text_field(ctx, k.edit, er);
        if (f & field_entered) {
            const double v = evaluate_expression(k.edit.text.c_str());
            if (!std::isnan(v)) {
                knob_set_value(k, v);
                flags |= knob_changed | knob_released;
            }
            k.editing = false;
            if (ctx.focus == &k.edit)
                ctx.focus = nullptr;
        } else if ((f & field_escaped) || ctx.focus != &k.edit) {
            k.editing = false;
            if (ctx.focus == &k.edit)
                ctx.focus = nullptr;
        }
    } else if (in.right_pressed && hovered(ctx, r) && !ctx.pointer_captured) {
        ctx.pointer_captured = true;
        k.editing = true;
        char buf[64];
        snprintf(buf, sizeof buf, k.format, knob_value(k));
        text_field_set(k.edit, buf);
        widgets_focus(ctx, &k.edit);
    } else if (in.left_pressed && hovered(ctx, r) && !ctx.pointer_captured) {
        ctx.pointer_captured = true;
        if (in.double_click) {
            knob_set_value(k, k.default_value);
            flags |= knob_changed | knob_released;
        } else {
            ctx.pressed_id = id;
            k.dragging = true;
            k.last_y = in.pointer_y;
        }
    }
    if (k.dragging) {
        const int dy = k.last_y - in.pointer_y;  // up is more
        if (dy != 0) {
            k.t = std::clamp(k.t + dy * knob_drag_step(in.mods), 0.0, 1.0);
            k.value = knob_value_at(k.scale, k.t);
            k.last_y = in.pointer_y;
            flags |= knob_changed;
        }
        if (!in.left_down || in.left_released) {
            k.dragging = false;
            flags |= knob_released;
            if (ctx.pressed_id == id)
                ctx.pressed_id = 0;
        }
    }
    if (drawing(ctx)) {
        const int s = std::min(r.w, r.h - 34 * ctx.scale);
        const int cx = r.x + r.w / 2, cy = r.y + 14 * ctx.scale + s / 2;
        text_at(ctx, cx - text_w(ctx, name) / 2, r.y + 6 * ctx.scale, name, colour_text);
        // The travel as an arc of 270° drawn as points, the pointer as a line.
        const double rad = s / 2.0 - 1;
        for (int i = 0; i <= 48; i++) {
            const double a = (225.0 - 270.0 * i / 48.0) * M_PI / 180.0;
            const uint32_t c = i / 48.0 <= k.t ? colour_accent : colour_edge;
            fill_rect(ctx.target, cx + (int)std::lround(rad * std::cos(a)) - 1, cy - (int)std::lround(rad * std::sin(a)) - 1, 2, 2, c);
        }
        const double a = (225.0 - 270.0 * k.t) * M_PI / 180.0;
        draw_line(ctx.target, cx, cy, cx + (int)std::lround(rad * 0.8 * std::cos(a)), cy - (int)std::lround(rad * 0.8 * std::sin(a)),
                  colour_text);
        if (!k.editing) {
            char buf[80];
            snprintf(buf, sizeof buf, k.format, knob_value(k));
            std::string value = std::string(buf) + " " + k.unit;
            text_at(ctx, cx - text_w(ctx, value) / 2, r.y + r.h - 10 * ctx.scale, value, colour_text);
        }
    }
    return flags;
}

// ---- Floating windows ----

int title_bar_height(const WidgetContext& ctx) { return 18 * ctx.scale; }

WidgetRect floating_window(WidgetContext& ctx, int id, FloatingWindow& w, std::string_view title, int screen_w, int screen_h)
{
    const WidgetInput& in = ctx.input;
    const int bar = title_bar_height(ctx);
    const WidgetRect close_rect = {w.x + w.w - bar, w.y, bar, bar};
    w.close_clicked = click(ctx, id, close_rect);
    const WidgetRect title_rect = {w.x, w.y, w.w - bar, bar};
    if (in.left_pressed && !ctx.pointer_captured && hovered(ctx, title_rect)) {
        w.dragging = true;
        w.grab_dx = in.pointer_x - w.x;
        w.grab_dy = in.pointer_y - w.y;
    }
    if (w.dragging) {
        if (!in.left_down || in.left_released)
            w.dragging = false;
        else {
            w.x = in.pointer_x - w.grab_dx;
            w.y = in.pointer_y - w.grab_dy;
        }
    }
    // The title bar stays reachable: never dragged off the screen, and brought back when the
    // main window shrinks under it.
    w.x = std::clamp(w.x, -(w.w - 40 * ctx.scale), std::max(0, screen_w - 40 * ctx.scale));
    w.y = std::clamp(w.y, 0, std::max(0, screen_h - bar));
    if (drawing(ctx)) {
        fill_rect(ctx.target, w.x, w.y, w.w, w.h, colour_frame);
        fill_rect(ctx.target, w.x, w.y, w.w, bar, colour_title);
        draw_rect_outline(ctx.target, w.x, w.y, w.w, w.h, colour_edge);
        text_at(ctx, w.x + 6 * ctx.scale, w.y + bar / 2 - 1, title, colour_text);
        const int m = bar / 4;
        draw_line(ctx.target, close_rect.x + m, close_rect.y + m, close_rect.x + bar - 1 - m, close_rect.y + bar - 1 - m, colour_text);
        draw_line(ctx.target, close_rect.x + bar - 1 - m, close_rect.y + m, close_rect.x + m, close_rect.y + bar - 1 - m, colour_text);
    }
    // The window's own widgets run after this call, so only a drag captures the pointer here.
    if (w.dragging)
        ctx.pointer_captured = true;
    return {w.x + 8 * ctx.scale, w.y + bar + 6 * ctx.scale, w.w - 16 * ctx.scale, w.h - bar - 12 * ctx.scale};
}
