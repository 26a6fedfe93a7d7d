#include "ui/console.h"

#include "commands/app.h"
#include "commands/history.h"
#include "ui/dialog_layout.h"

#include <algorithm>
#include <cstdio>

void console_toggle(WidgetContext& ctx, Console& c)
{
    c.visible = !c.visible;
    if (c.visible) {
        text_field_set(c.field, "");
        c.browse = c.lines.size();
        widgets_focus(ctx, &c.field);
    } else if (ctx.focus == &c.field) {
        ctx.focus = nullptr;
    }
}

void console_run(App& app, Console& c, const std::string& line)
{
    // A blank line has nothing to run and would only add an empty entry to recall.
    if (line.find_first_not_of(" \t") != std::string::npos) {
        record_text(app, record_action, 1, nullptr, line + "\n");
        app.requests.archive_line_executed = 1;
        c.lines.push_back(line);
    }
    c.browse = c.lines.size();
    text_field_set(c.field, "");
}

void console_frame(WidgetContext& ctx, App& app, Console& c, int screen_w, int screen_h)
{
    if (!c.visible)
        return;
    const int s = ctx.scale;
    dialog_size_window(dialog_console, c.window, s);
    if (!c.placed) {
        // Bottom left, above the button bar, where it hides the least of the picture.
        c.window.x = 10 * s;
        c.window.y = std::max(0, screen_h - c.window.h - 140 * s);
        c.placed = true;
    }
    floating_window(ctx, 10, c.window, "Sonographica Console", screen_w, screen_h);
    const ResolvedLayout r = dialog_resolve(dialog_console, c.window, s);
    label(ctx, dialog_rect(r, 12), dialog_text(dialog_console, 12));
    const int flags = text_field(ctx, c.field, dialog_rect(r, 10));
    const bool run = button(ctx, 11, dialog_rect(r, 11), dialog_text(dialog_console, 11));
    if (ctx.focus == &c.field)
        for (const WidgetKey& k : ctx.input.keys) {
            size_t b = c.browse;
            if (k.key == wkey_up && b > 0)
                b--;
            else if (k.key == wkey_down && b < c.lines.size())
                b++;
            if (b != c.browse) {
                c.browse = b;
                text_field_set(c.field, b < c.lines.size() ? c.lines[b] : std::string());
            }
        }
    if (c.window.close_clicked) {
        console_toggle(ctx, c);
        return;
    }
    if ((flags & field_entered) || run) {
        console_run(app, c, c.field.text);
        widgets_focus(ctx, &c.field);
    }
}
