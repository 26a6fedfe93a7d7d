#include "app/view_draw.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>

#include "app/display.h"
#include "app/shell.h"
#include "app/view_coords.h"
#include "project/units.h"
#include "support/palette_entries.h"

namespace {

constexpr uint32_t white = 0xFFFFFFFFu, black = 0xFF000000u;

uint32_t level_sum(uint32_t c)
{
    return ((c >> 16) & 0xFF) + 2 * ((c >> 8) & 0xFF) + (c & 0xFF);
}

// A dashed line down (vertical) or across the image area; each dash's colour is chosen from
// the pixels it covers. Dash k covers [start + k × period, + dash) along the line.
void draw_overlay_dashes(const Raster& screen, const ScreenLayout& l, bool vertical, int at, int dash, int period,
                         int start)
{
    const int from = vertical ? l.image_y : l.image_x;
    const int length = vertical ? l.image_height : l.image_width;
    if (vertical ? (at < l.image_x || at >= l.image_x + l.image_width)
                 : (at < l.image_y || at >= l.image_y + l.image_height))
        return;
    for (int d = start; d < length; d += period) {
        const int a = std::max(0, d), b = std::min(length, d + dash);
        if (a >= b)
            continue;
        unsigned long long sum = 0;
        for (int i = a; i < b; i++) {
            const int x = vertical ? at : from + i, y = vertical ? from + i : at;
            sum += level_sum(screen.pixels[(size_t)y * (size_t)screen.stride + (size_t)x]);
        }
        const uint32_t colour = sum < 513ull * (unsigned)(b - a) ? white : black;
        if (vertical)
            draw_vline(screen, at, from + a, b - a, colour);
        else
            draw_hline(screen, from + a, at, b - a, colour);
    }
}

// The column being heard, moved on between the audio device's position updates by the time
// that passed, so that the cursor glides rather than jumps a callback at a time.
double heard_column(Shell& sh)
{
    using clock = std::chrono::steady_clock;
    static long long last_position = -1;
    static clock::time_point last_change;
    PlaybackState& pb = sh.app.playback;
    const long long position = pb.play_position.load();
    const auto now = clock::now();
    if (position != last_position) {
        last_position = position;
        last_change = now;
    }
    const int rate = pb.sample_rate > 0 ? pb.sample_rate : 44100;
    double ahead = std::chrono::duration<double>(now - last_change).count();
    ahead = std::min(ahead, 0.1);  // a stalled device must not let the cursor run away
    const double seconds = (double)position / rate + (pb.play_state.load() != play_stopped ? ahead : 0.0);
    return seconds * sh.app.project.time_resolution;
}

void request_strip(Shell& sh, const ScreenLayout& l)
{
    const Project& p = sh.app.project;
    const Pixmap& rainbow = sh.gfx.rainbow;
    if (!p.composite || l.strip_width <= 0 || l.strip_height <= 0 || rainbow.pixels.size() < 2)
        return;
    // Lossless synthesis without live synthesis shows its background as "not computed yet".
    const bool waiting = p.lossless && !p.live_synthesis.load();
    const uint32_t background =
        waiting ? palette_colour(sh.gfx, palette_block_pending, 0xFF404048u) : rainbow.pixels.back();
    waveform_request(sh.waveform, sh.app.project, l.strip_width, l.strip_height, sh.app.view.first_column,
                     sh.app.view.visible_columns, rainbow.pixels, background);
}

// The strip, with the columns of synthesis blocks not rendered yet in the block colours.
void draw_strip(Shell& sh, const ScreenLayout& l)
{
    Raster screen = raster_of(sh.screen);
    {
        std::lock_guard<std::mutex> guard(sh.waveform.lock);
        const Pixmap& strip = sh.waveform.strip;
        if (strip.width == l.strip_width && strip.height == l.strip_height)
            blit_copy(screen, l.strip_x, l.strip_y, view_of(strip));
    }
    const App& app = sh.app;
    PlaybackState& pb = sh.app.playback;
    if (app.project.lossless || pb.mode == synthesis_live || !pb.configured)
        return;
    const int hop = pb.geometry.block_width / 2;
    if (hop <= 0)
        return;
    const uint32_t pending = palette_colour(sh.gfx, palette_block_pending, 0xFF404048u);
    const uint32_t rendering = palette_colour(sh.gfx, palette_block_rendering, 0xFF606070u);
    std::lock_guard<std::mutex> guard(pb.block_status_lock);
    for (size_t k = 0; k < pb.block_status.size(); k++) {
        const int status = pb.block_status[k];
        if (status == block_done)
            continue;
        // Block k is heard over its hop: columns k × hop to (k + 1) × hop.
        const int a = std::max(l.strip_x, (int)std::floor(view_x_of(app.view, l, (float)((long long)k * hop))));
        const int b = std::min(l.strip_x + l.strip_width,
                               (int)std::ceil(view_x_of(app.view, l, (float)((long long)(k + 1) * hop))));
        if (b > a)
            fill_rect(screen, a, l.strip_y, b - a, l.strip_height, status == block_rendering ? rendering : pending);
    }
}

}  // namespace

FrequencyScale view_frequency_scale(const Project& p)
{
    FrequencyScale s;
    s.fmin = p.fmin;
    s.fmax = p.fmax;
    s.base = p.scale_base;
    s.rows = p.composite ? p.composite_height : p.height;
    return s;
}

std::vector<int> semitone_overlay_rows(const ViewState& v, const ScreenLayout& l, const FrequencyScale& s,
                                       std::vector<int>* numbers)
{
    std::vector<int> rows;
    if (s.rows <= 0 || v.visible_rows <= 1 || l.image_height <= 0)
        return rows;
    const double high = frequency_of_row(s, (float)v.first_row);
    double low = frequency_of_row(s, (float)(v.first_row + v.visible_rows - 1));
    if (s.base > 1.0f)
        low = std::max(low, (double)axis_lowest_frequency);
    if (!(low > 0.0) || !(high >= low))
        return rows;
    const float spacing = std::fabs(view_y_of(v, l, row_of_frequency(s, number_to_note(0.0f))) -
                                    view_y_of(v, l, row_of_frequency(s, number_to_note(1.0f))));
    if (!(spacing >= 8.0f))
        return rows;
    const int n_low = (int)std::ceil(note_to_number((float)low)), n_high = (int)std::floor(note_to_number((float)high));
    for (int n = n_low; n <= n_high; n++) {
        const int p = ((n % 12) + 12) % 12;
        const bool main_class = p == 0 || p == 2 || p == 4 || p == 7 || p == 9;
        if (!main_class && spacing < 16.0f)
            continue;
        const int y = (int)std::floor(view_y_of(v, l, row_of_frequency(s, number_to_note((float)n))));
        if (y < l.image_y || y >= l.image_y + l.image_height)
            continue;
        rows.push_back(y);
        if (numbers)
            numbers->push_back(n);
    }
    return rows;
}

std::vector<int> rhythm_overlay_columns(const ViewState& v, const ScreenLayout& l, int image_width,
                                        std::vector<int>* divisions)
{
    std::vector<int> columns;
    for (int i = 0; i < 16; i++) {
        const int x = (int)std::floor(view_x_of(v, l, (float)image_width * (float)i / 16.0f));
        if (x < l.image_x || x >= l.image_x + l.image_width)
            continue;
        columns.push_back(x);
        if (divisions)
            divisions->push_back(i);
    }
    return columns;
}

std::string pointer_readout(const App& app, const ScreenLayout& l, int x, int y)
{
    const Project& p = app.project;
    if (x < l.image_x || x >= l.image_x + l.image_width || y < l.image_y || y >= l.image_y + l.image_height)
        return "";
    const FrequencyScale s = view_frequency_scale(p);
    if (s.rows <= 0 || app.view.visible_columns <= 0 || !(p.time_resolution > 0.0f))
        return "";
    const double seconds = std::max(0.0f, view_column_at_f(app.view, l, (float)x)) / p.time_resolution;
    const double hz = frequency_of_row(s, view_row_at_f(app.view, l, (float)y));
    char text[160];
    if (seconds == 0.0)
        std::snprintf(text, sizeof text, "%.2f Hz", hz);
    else
        std::snprintf(text, sizeof text, "%s - %.2f Hz", time_label_text(seconds, true).c_str(), hz);
    std::string out = text;
    const float n = note_to_number((float)hz);
    if (std::isfinite(n)) {
        const int nearest = (int)std::lround(n);
        const int pc = ((nearest % 12) + 12) % 12;
        out += ' ';
        out += note_names[pc];
        out += std::to_string((nearest - pc) / 12);
    }
    return out;
}

void view_draw(Shell& sh, const ScreenLayout& l)
{
    App& app = sh.app;
    Project& p = app.project;
    Raster screen = raster_of(sh.screen);
    const int sc = std::max(1, sh.scale);

    // A button held with a painting tool is a stroke under way: the display keeps up with it.
    const bool stroke = sh.stroke_active ||
                        (sh.pointer_buttons != 0 && app.tool >= tool_dark_spray && app.tool <= tool_rectangle);
    const DisplayKey key = display_key(app, l.image_width, l.image_height, stroke);
    if (sh.display_stale || key.first_column != sh.display_key.first_column ||
        key.visible_columns != sh.display_key.visible_columns || key.width != sh.display_key.width)
        request_strip(sh, l);
    if (sh.display_stale || !(key == sh.display_key)) {
        sh.display_max = display_rebuild(sh.display, l.image_width, l.image_height, app, sh.gfx, stroke);
        sh.display_key = key;
        sh.display_stale = false;
    }
    blit_copy(screen, l.image_x, l.image_y, view_of(sh.display));
    if (!p.composite || app.view.visible_columns <= 0)
        return;
    draw_strip(sh, l);

    // Overlays, on what the picture shows.
    if (app.display.rhythm_overlay) {
        std::vector<int> divisions;
        const std::vector<int> columns = rhythm_overlay_columns(app.view, l, p.composite_width, &divisions);
        for (size_t k = 0; k < columns.size(); k++) {
            if (divisions[k] % 4 == 0)
                draw_overlay_dashes(screen, l, true, columns[k], 32 * sc, 48 * sc, -12 * sc);
            else
                draw_overlay_dashes(screen, l, true, columns[k], 4 * sc, 16 * sc, -2 * sc);
        }
    }
    if (app.display.semitone_overlay) {
        const FrequencyScale fs = view_frequency_scale(p);
        std::vector<int> numbers;
        const std::vector<int> rows = semitone_overlay_rows(app.view, l, fs, &numbers);
        for (size_t k = 0; k < rows.size(); k++) {
            const int pc = ((numbers[k] % 12) + 12) % 12;
            const bool black_key = pc == 1 || pc == 3 || pc == 6 || pc == 8 || pc == 10;
            if (black_key)
                draw_overlay_dashes(screen, l, false, rows[k], 4 * sc, 16 * sc, -2 * sc);
            else
                draw_overlay_dashes(screen, l, false, rows[k], 16 * sc, 32 * sc, -6 * sc);
        }
    }

    // The play cursor: a line at the column being heard while anything plays or is paused away
    // from the start.
    if (app.playback.play_state.load() != play_stopped) {
        const int x = (int)std::floor(view_x_of(app.view, l, (float)heard_column(sh)));
        if (x >= l.image_x && x < l.image_x + l.image_width)
            draw_vline(screen, x, l.image_y, l.image_height, palette_colour(sh.gfx, palette_accent, 0xFFFFC040u));
    }
}

bool tool_outline_shown(const App& app, const ScreenLayout& l, int x, int y, bool h_held)
{
    if (app.tool < tool_dark_spray || app.tool > tool_rectangle)
        return false;
    const bool inside = x >= l.image_x && x < l.image_x + l.image_width && y >= l.image_y &&
                        y < l.image_y + l.image_height;
    return inside || h_held;
}

std::vector<std::pair<int, int>> tool_outline_points(int tool, float width, int scale, int x, int y)
{
    std::vector<std::pair<int, int>> points;
    const float w = std::clamp(width, 1.0f, 4096.0f) * (float)std::max(1, scale);
    if (tool == tool_rectangle) {
        const int half = std::max(2, (int)std::lround(w / 2.0f));
        for (int d = -half; d <= half; d++) {
            points.push_back({x + d, y});
            if (d != 0)
                points.push_back({x, y + d});
        }
        return points;
    }
    // A circle of radius 1.5 × width, one point per pixel of its circumference.
    const double r = 1.5 * w;
    const int n = std::max(8, (int)std::ceil(2.0 * M_PI * r * 1.5));
    int last_x = INT_MIN, last_y = INT_MIN;
    for (int i = 0; i < n; i++) {
        const double a = 2.0 * M_PI * i / n;
        const int px = x + (int)std::lround(r * std::cos(a)), py = y + (int)std::lround(r * std::sin(a));
        if (px != last_x || py != last_y)
            points.push_back({px, py});
        last_x = px;
        last_y = py;
    }
    return points;
}

void view_draw_time_labels(Shell& sh, const ScreenLayout& l)
{
    const App& app = sh.app;
    const Project& p = app.project;
    if (!p.composite || app.view.visible_columns <= 0)
        return;
    const Font& font = sh.gfx.font12;
    const int sc = std::max(1, sh.scale);
    const int label_height = std::max(1, font_height(font));
    const uint32_t text = palette_colour(sh.gfx, palette_text, 0xFFE0E0E0u);
    // The times run along the bar's top edge, right under the picture.
    const int time_y = l.image_y + l.image_height + label_height / 2 + 2 * sc;
    for (const AxisLabel& a : time_axis_labels(app.view, l, sh.width, sc, p.time_resolution))
        draw_text(raster_of(sh.screen), font, a.position, time_y, a.text, text);
}

void view_draw_labels(Shell& sh, const ScreenLayout& l)
{
    App& app = sh.app;
    const Project& p = app.project;
    Raster screen = raster_of(sh.screen);
    const int sc = std::max(1, sh.scale);
    const Font& font = sh.gfx.font12;
    const uint32_t text = palette_colour(sh.gfx, palette_text, 0xFFE0E0E0u);
    const int label_height = std::max(1, font_height(font));
    if (p.composite && app.view.visible_columns > 0) {
        const FrequencyScale fs = view_frequency_scale(p);
        for (const AxisLabel& a : frequency_axis_labels(app.view, l, fs, label_height, sc))
            draw_text(screen, font, 121 * sc - text_width(font, a.text), a.position, a.text, text);
        for (const AxisLabel& a : note_axis_labels(app.view, l, fs, label_height))
            draw_text(screen, font, sh.width - 61 * sc, a.position, a.text, text);
    }
    view_draw_time_labels(sh, l);
    // The tool outline replaces the system pointer where it is shown; not while a knob of the
    // bar is being turned, whichever way the pointer circles.
    const bool outline = sh.input.mode != pointer_control &&
                         tool_outline_shown(app, l, sh.pointer_x, sh.pointer_y, sh.input.held.outline);
    if (outline) {
        const uint32_t colour = palette_colour(sh.gfx, palette_selection, 0xFFFFFFFFu);
        for (const auto& [x, y] : tool_outline_points(app.tool, app.tools.width, sc, sh.pointer_x, sh.pointer_y))
            if (x >= 0 && y >= 0 && x < screen.width && y < screen.height)
                screen.pixels[(size_t)y * (size_t)screen.stride + (size_t)x] = colour;
    }
    if (sh.window && outline == (SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE))
        SDL_ShowCursor(outline ? SDL_DISABLE : SDL_ENABLE);
}
