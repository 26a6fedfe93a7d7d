#include "layers/spray.h"

#include <algorithm>
#include <chrono>
#include <cfloat>
#include <cmath>
#include <vector>

#include "engine/scale.h"
#include "layers/composite.h"
#include "support/log.h"

const char* const spray_keywords[spray_type_count] = {"dark spray", "white spray", "brighten spray",
                                                      "smart erase spray"};
const char* const spray_erase_keyword = "erase spray";

// ---- Falloff ----

namespace {
struct FalloffTable {
    float t[33];
    FalloffTable()
    {
        for (int i = 0; i <= 32; i++) {
            double u = i * 31.0 / 320.0;
            t[i] = (float)exp(-u * u);
        }
    }
};
}  // namespace

float spray_falloff(float u)
{
    static const FalloffTable table;
    float s = fabsf(u) * 32.0f * 10.0f / 31.0f;
    if (!(s < 32.0f))
        return 0.0f;
    int i = (int)s;
    return table.t[i] + (table.t[i + 1] - table.t[i]) * (s - (float)i);
}

// ---- Stale live-synthesis blocks ----

void mark_stale_blocks(StaleBlocks& s, int first, int last)
{
    int count = s.block_count.load();
    first = std::max(first, 0);
    last = std::min(last, count - 1);
    if (first > last)
        return;
    int f = s.first.load();
    while (first < f && !s.first.compare_exchange_weak(f, first)) {
    }
    int l = s.last.load();
    while (last > l && !s.last.compare_exchange_weak(l, last)) {
    }
    s.stale = true;
}

bool take_stale_blocks(StaleBlocks& s, int* first, int* last)
{
    if (!s.stale.exchange(false))
        return false;
    *first = s.first.exchange(INT_MAX);
    *last = s.last.exchange(-1);
    return *first <= *last;
}

// Values far outside any block count are clamped before the conversion to int.
static int clamp_to_int(double v)
{
    if (!(v > -1.0e9))
        return -1000000000;
    if (v > 1.0e9)
        return 1000000000;
    return (int)v;
}

void dab_block_range(float x, float rx, int block_width, int* first, int* last)
{
    *first = 0;
    *last = -1;
    if (block_width <= 0)
        return;
    *first = clamp_to_int(2.0 * (x - 1.5 * rx) / block_width - 1.0);
    *last = clamp_to_int((2.0 * x + 3.0 * rx) / block_width);
}

// ---- Dabs ----

// The part of the picture a dab may touch: [0, w) × [0, h).
struct DabExtent {
    int w, h;
};

// First index and the index past the last of a dab's span c ± r within [0, limit).
static void dab_span(float c, float r, int limit, int* from, int* to)
{
    float lo = std::max(c - r, 0.0f), hi = c + r;
    if (!(lo < (float)limit) || !(hi >= 0.0f)) {
        *from = *to = 0;
        return;
    }
    *from = (int)lo;
    *to = hi >= (float)(limit - 1) ? limit : (int)floorf(hi) + 1;
}

static std::vector<float>& scratch(int which)
{
    static thread_local std::vector<float> buffers[2];
    return buffers[which];
}

void spray_dab(SprayTool& t, Project& p, float x, float y, int erase, float rx, float ry, float intensity, int type)
{
    if (rx < 2.0f) {
        intensity *= rx / 2.0f;
        rx = 2.0f;
    }
    if (ry < 2.0f) {
        intensity *= ry / 2.0f;
        ry = 2.0f;
    }
    int bw = t.stale.block_width.load(std::memory_order_relaxed);
    if (bw > 0) {
        int first, last;
        dab_block_range(x, rx, bw, &first, &last);
        mark_stale_blocks(t.stale, first, last);
    }

    if (p.current_layer < 0 || p.current_layer >= (int)p.layers.size())
        return;
    Layer& l = p.layers[p.current_layer];
    if (!l.image || !std::isfinite(x) || !std::isfinite(y) || !std::isfinite(rx) || !std::isfinite(ry))
        return;
    bool needs_original = erase || type == spray_smart_erase;
    if (needs_original && !l.original_image)
        return;
    DabExtent e{p.width, p.height};
    if (needs_original)
        e = {std::min(p.width, l.original_width), std::min(p.height, l.original_height)};

    int x0, x1, y0, y1;
    dab_span(x, rx, e.w, &x0, &x1);
    dab_span(y, ry, e.h, &y0, &y1);
    if (x0 >= x1 || y0 >= y1)
        return;
    for (int seen = t.touched_first.load(); x0 < seen && !t.touched_first.compare_exchange_weak(seen, x0);) {
    }
    for (int seen = t.touched_last.load(); x1 - 1 > seen && !t.touched_last.compare_exchange_weak(seen, x1 - 1);) {
    }
    std::vector<float>& gx = scratch(0);
    std::vector<float>& gy = scratch(1);
    gx.resize(x1 - x0);
    gy.resize(y1 - y0);
    for (int i = x0; i < x1; i++)
        gx[i - x0] = spray_falloff(3.0f * ((float)i - x) / rx);
    for (int j = y0; j < y1; j++)
        gy[j - y0] = spray_falloff(3.0f * ((float)j - y) / ry);

    Image im = l.image;
    Image orig = l.original_image;
    if (!erase && type == spray_smart_erase) {
        // Column by column: the floor is the lowest original value divided by the brush's
        // vertical falloff, so peaks are pressed toward a brush-shaped floor and pixels already
        // below it stay as they are.
        for (int i = x0; i < x1; i++) {
            float g = gx[i - x0];
            float m = FLT_MAX;
            for (int j = y0; j < y1; j++)
                if (gy[j - y0] > 0.0f)
                    m = std::min(m, orig[j][i] / gy[j - y0]);
            for (int j = y0; j < y1; j++) {
                float o = orig[j][i];
                if (o == 0.0f)
                    continue;
                float a = gy[j - y0] * g * intensity;
                float v = ((1.0f - a) * o + a * m) / o;
                if (v < 1.0f)
                    im[j][i] *= v;
            }
        }
        return;
    }

    bool restore = erase && p.current_layer == 0;
    for (int j = y0; j < y1; j++) {
        float g = gy[j - y0];
        float* row = im[j] + x0;
        const float* gxr = gx.data();
        int n = x1 - x0;
        if (restore) {
            const float* o = orig[j] + x0;
            for (int k = 0; k < n; k++) {
                float a = gxr[k] * g * intensity;
                row[k] = (1.0f - a) * row[k] + a * o[k];
            }
        } else if (erase || type == spray_dark) {
            for (int k = 0; k < n; k++) {
                float a = gxr[k] * g * intensity;
                row[k] = (1.0f - a) * row[k];
            }
        } else if (type == spray_white) {
            for (int k = 0; k < n; k++) {
                float a = gxr[k] * g * intensity;
                row[k] = (1.0f - a) * row[k] + a;
            }
        } else if (type == spray_brighten) {
            for (int k = 0; k < n; k++) {
                float a = gxr[k] * g * intensity;
                row[k] = std::clamp((1.0f + spray_centre_gain * a) * row[k], -FLT_MAX, FLT_MAX);
            }
        }
    }
}

// ---- Stroke points ----

// Where harmonic h of the pointer's row lies.
struct HarmonicRows {
    bool logarithmic = false;  // rows per log_B unit: harmonic h is log_B(h) × r rows up
    float r = 0.0f;
    float base = 2.0f;
    bool linear = false;       // linear scale: harmonic h is the row of h × f
    float fmin = 0.0f, fmax = 0.0f;
    int height = 0;
};

static HarmonicRows harmonic_rows(const Project& p)
{
    HarmonicRows hr;
    hr.base = p.scale_base;
    hr.height = p.height;
    if (p.height < 2 || !(p.fmin > 0.0f) || !(p.fmax > p.fmin))
        return hr;
    if (p.scale_base > 1.0f) {
        float r = (float)(p.height - 1) /
                  (display_log_scale_base(p.fmax, p.scale_base) - display_log_scale_base(p.fmin, p.scale_base));
        if (r > 0.0f && std::isfinite(r)) {
            hr.logarithmic = true;
            hr.r = r;
        }
    } else {
        // On a linear axis the harmonics of a row are not a fixed distance apart: each is placed
        // at the row of its own frequency.
        hr.linear = true;
        hr.fmin = p.fmin;
        hr.fmax = p.fmax;
    }
    return hr;
}

// Row of harmonic h above row y; NaN when it has no place.
static float harmonic_row(const HarmonicRows& hr, float y, int h)
{
    if (hr.logarithmic)
        return y - display_log_scale_base((float)h, hr.base) * hr.r;
    if (hr.linear) {
        float span = (float)(hr.height - 1);
        float f = hr.fmin + (hr.fmax - hr.fmin) * (span - y) / span;
        if (!(f > 0.0f))
            return NAN;
        return span - ((float)h * f - hr.fmin) / (hr.fmax - hr.fmin) * span;
    }
    return NAN;
}

// A dab and its harmonics. Harmonics climb monotonically, so once one lies wholly above the
// picture all the later ones do too; they would paint nothing, and the first dab has already
// marked every live-synthesis block that they would.
static void dab_with_harmonics(SprayTool& t, Project& p, const HarmonicRows& hr, float x, float y, float rx, float ry,
                               float k, int harmonics, int erase, int type)
{
    spray_dab(t, p, x, y, erase, rx, ry, k, type);
    for (int h = 2; h <= harmonics; h++) {
        float yh = harmonic_row(hr, y, h);
        if (std::isnan(yh))
            return;
        float sh = sqrtf((float)h);
        float rxh = rx / sh, ryh = ry / sh;
        if (yh + std::max(ryh, 2.0f) < 0.0f)
            return;
        // The erase flag overrides the type, so an erasing stroke's harmonics ignore it too (a
        // replayed erase stroke does not know the type of the tool).
        spray_dab(t, p, x, yh, erase, rxh, ryh, type == spray_white && !erase ? k / sh : k, type);
    }
}

// More interpolated dabs than this in one step means an absurd brush or distance (an edited
// archive); the step is refused rather than painting for hours.
static constexpr float max_dabs_per_step = 1.0e6f;
// Harmonics beyond this would all lie far above any picture the project can hold.
static constexpr int max_harmonics = 1 << 20;

void apply_spray_point(SprayTool& t, Project& p, float x, float y, float rx, float ry, float intensity, int harmonics,
                       int erase, int type, int start)
{
    if (p.current_layer < 0 || p.current_layer >= (int)p.layers.size() || !p.layers[p.current_layer].image)
        return;
    if (!std::isfinite(x) || !std::isfinite(y) || !(rx > 0.0f) || !(ry > 0.0f) || !std::isfinite(rx) ||
        !std::isfinite(ry) || !std::isfinite(intensity)) {
        log_printf(stderr, "Spray point (%g, %g) with radii %g x %g and intensity %g refused\n", x, y, rx, ry,
                   intensity);
        return;
    }
    harmonics = std::clamp(harmonics, 0, max_harmonics);
    HarmonicRows hr = harmonic_rows(p);

    if (start) {
        dab_with_harmonics(t, p, hr, x, y, rx, ry, intensity * spray_centre_gain, harmonics, erase, type);
    } else {
        float px = t.previous_x, py = t.previous_y;
        float dx = (x - px) / rx, dy = (y - py) / ry;
        float d = sqrtf(dx * dx + dy * dy);
        float q = 4.0f * d * sqrtf((float)(harmonics + 2));
        if (q > max_dabs_per_step) {
            log_printf(stderr, "Spray step of %g dabs refused\n", q);
        } else {
            int n = (int)ceilf(q);
            if (n >= 1) {
                float k = intensity * q / (float)n;
                for (int i = 1; i <= n; i++)
                    dab_with_harmonics(t, p, hr, px + (x - px) * (float)i / (float)n,
                                       py + (y - py) * (float)i / (float)n, rx, ry, k, harmonics, erase, type);
            }
        }
    }
    t.previous_x = x;
    t.previous_y = y;
}

// ---- Queue and worker ----

SprayTool::~SprayTool() { spray_wait(*this); }

bool spray_enqueue(SprayTool& t, const SprayPoint& point)
{
    std::lock_guard<std::mutex> lock(t.queue_lock);
    if (t.pending >= spray_queue_max_pending)
        return false;
    t.ring[t.write_index] = point;
    t.occupied[t.write_index] = true;
    t.write_index = (t.write_index + 1) % spray_queue_size;
    t.occupied[t.write_index] = false;
    t.pending++;
    return true;
}

static void reset_queue_locked(SprayTool& t)
{
    std::fill(t.occupied, t.occupied + spray_queue_size, false);
    t.read_index = t.write_index = 0;
    t.pending = 0;
}

// Emptying the queue under its lock is the whole cancel: the drainer finishes the point in
// hand, finds nothing more and stops, and no request is left over to hit the next stroke.
void spray_cancel(SprayTool& t)
{
    std::lock_guard<std::mutex> lock(t.queue_lock);
    reset_queue_locked(t);
}

// Takes the next point; false when the queue is empty.
static bool take_point(SprayTool& t, SprayPoint* point)
{
    std::lock_guard<std::mutex> lock(t.queue_lock);
    if (!t.occupied[t.read_index])
        return false;
    *point = t.ring[t.read_index];
    t.occupied[t.read_index] = false;
    t.pending--;
    t.read_index = (t.read_index + 1) % spray_queue_size;
    return true;
}

static bool queue_empty(SprayTool& t)
{
    std::lock_guard<std::mutex> lock(t.queue_lock);
    return !t.occupied[t.read_index];
}

// The composite brought up to the dabs painted so far: only the columns they touched where the
// blends allow, the whole picture otherwise; then the view is rendered and the main loop told.
static void show_painted(SprayTool& t, Project& p, Compositor* c)
{
    const int first = t.touched_first.exchange(INT_MAX), last = t.touched_last.exchange(-1);
    const bool columns = first <= last && composite_columns(p, c && c->current_group_only, first, last);
    if (columns) {
        for (int seen = t.shown_first.load(); first < seen && !t.shown_first.compare_exchange_weak(seen, first);) {
        }
        for (int seen = t.shown_last.load(); last > seen && !t.shown_last.compare_exchange_weak(seen, last);) {
        }
    } else {
        p.recomposite_needed = true;
    }
    if (c)
        refresh_view(p, *c, columns ? refresh_columns_only : 0);
    t.view_update_requested = true;
}

// While points keep coming faster than they are painted the queue never runs dry: the painted
// part is shown at this interval all the same, so that the view keeps up with the pointer.
constexpr auto spray_show_interval = std::chrono::milliseconds(12);

// The drain loop of the one drainer that owns drainer_running.
static void drain(SprayTool& t, Project& p, Compositor* c)
{
    for (;;) {
        SprayPoint pt;
        bool painted = false;
        auto shown = std::chrono::steady_clock::now();
        while (take_point(t, &pt)) {
            apply_spray_point(t, p, pt.x, pt.y, pt.rx, pt.ry, pt.intensity, pt.harmonics, pt.erase, pt.type,
                              pt.start);
            painted = true;
            const auto now = std::chrono::steady_clock::now();
            if (now - shown >= spray_show_interval && p.content_changed == 0 && !queue_empty(t)) {
                show_painted(t, p, c);
                shown = now;
            }
        }
        // A stroke step changes a few columns: composite only those where the blends allow.
        if (painted && p.content_changed == 0)
            show_painted(t, p, c);
        t.drainer_running = false;
        // A point queued between the last take and the flag going down found a drainer still
        // running and started none: take the queue over again rather than leave it waiting.
        if (queue_empty(t) || t.drainer_running.exchange(true))
            return;
    }
}

void spray_worker(SprayTool& t, Project& p, Compositor* c)
{
    if (t.drainer_running.exchange(true))
        return;
    drain(t, p, c);
}

void spray_start_worker(SprayTool& t, Project& p, Compositor* c)
{
    if (t.drainer_running.exchange(true))
        return;
    // The previous drainer has given up the flag and is at most re-checking the queue.
    if (t.worker.joinable())
        t.worker.join();
    t.worker = std::thread(drain, std::ref(t), std::ref(p), c);
}

void spray_wait(SprayTool& t)
{
    if (t.worker.joinable())
        t.worker.join();
}
