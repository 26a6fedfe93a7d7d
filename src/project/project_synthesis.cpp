#include "project/project_synthesis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/limiter.h"
#include "support/log.h"
#include "support/progress.h"
#include "support/prefs.h"

SynthesisKnobs project_knobs(const Project& p)
{
    SynthesisKnobs k;
    k.fmin = p.fmin;
    k.fmax = p.fmax;
    k.scale_base = p.scale_base;
    k.time_resolution = p.time_resolution;
    return k;
}

void project_playback_init(PlaybackState& s, Project& p, int workers)
{
    LivePicture picture;
    picture.columns = &p.synthesis_copy;
    picture.width = &p.width;
    picture.height = &p.height;
    picture.lock = &p.synthesis_copy_lock;
    picture.updated = &p.synthesis_copy_updated;
    playback_init(s, p.sample_rate, p.analysis_fmin, p.analysis_fmax, p.analysis_time_resolution, picture, workers);
    s.controls.live_synthesis = p.live_synthesis.load();
    s.controls.lossless = p.lossless;
    s.controls.loop_playback = p.loop_playback;
}

SynthesisRequest project_synthesis_request(Project& p, const SynthesisKnobs& knobs)
{
    SynthesisRequest r;
    r.input.composite = p.composite;
    r.input.width = p.width;
    r.input.height = p.height;
    r.input.image_lock = &p.image_lock;
    r.input.composite_stale = &p.recomposite_needed;
    r.input.original_image = p.original_image;
    r.input.original_sound = p.original_sound.empty() ? nullptr : p.original_sound.data();
    r.input.original_sound_size = (long long)p.original_sound.size();
    r.original_width = p.original_image ? p.original_image_width : 0;
    r.original_height = p.original_image ? p.original_image_height : 0;
    r.original_sound_length = p.original_sound_length;
    r.fmin = knobs.fmin;
    r.fmax = knobs.fmax;
    r.scale_base = knobs.scale_base;
    r.time_resolution = knobs.time_resolution;
    r.dragging = knobs.dragging;
    r.long_blocks = p.long_blocks;
    r.live_synthesis = p.live_synthesis;
    r.lossless = p.lossless;
    r.content_changed = p.content_changed;
    return r;
}

bool project_synthesis_update(PlaybackState& s, Project& p, const SynthesisKnobs& knobs, SynthesisMessage* message)
{
    if (!p.composite)
        return false;
    SynthesisMessage m;
    const bool restarted = synthesis_update(s, project_synthesis_request(p, knobs), &m);
    if (m.title)
        p.lossless = false;
    if (message)
        *message = m;
    p.content_changed = 0;
    return restarted;
}

void project_live_synthesis(PlaybackState& s, Project& p, bool on, const SynthesisKnobs& knobs)
{
    p.live_synthesis = on;
    const SynthesisRequest r = project_synthesis_request(p, knobs);
    if (on) {
        live_synthesis_on(s, r);
        p.recomposite_needed = true;
    } else {
        live_synthesis_off(s, r);
    }
}

namespace {

struct RenderProgress {
    ProgressLine line;
    double last = 0.0;
};

void print_progress(void* user, double fraction)
{
    RenderProgress& r = *(RenderProgress*)user;
    r.last = fraction;
    progress_update(r.line, fraction);
}

// The live rendering through the limiter exactly as the audio callback limits playback: one
// state from the first sample to the last, with the stored settings; how the sound is cut
// into buffers does not change the result.
void limit_like_playback(std::vector<float>& out, int sample_rate, PrefStore* prefs)
{
    LimiterState limiter;
    limiter.prefs = prefs;
    limiter_load_prefs(limiter, prefs ? *prefs : pref_main_store());
    const size_t piece = 65536;
    for (size_t at = 0; at < out.size(); at += piece)
        limit_volume(out.data() + at, 1, (int)std::min(piece, out.size() - at), sample_rate, limiter);
}

// No rendering goes beyond full scale, where it would clip once converted to whole numbers or
// played by another program. One well beyond it is scaled down with a word; the last bit
// that rounding may leave above 1 after normalisation is simply clipped.
void keep_within_full_scale(std::vector<float>& out, const char* mode)
{
    float peak = 0.0f;
    for (float v : out)
        peak = std::max(peak, std::fabs(v));
    if (!(peak > 1.0f))
        return;
    if (peak > 1.0001f) {
        log_printf(stderr, "Warning: the %s rendering peaks at %g, above full scale: scaled down to full scale\n",
                   mode, peak);
        const float gain = 1.0f / peak;
        for (float& v : out)
            v *= gain;
    }
    for (float& v : out)
        v = std::clamp(v, -1.0f, 1.0f);
}

}  // namespace

namespace {

// What rendering reads from the project, as pointers into it: the caller holds the image
// lock while they are used. Lossless mode that cannot work is reported and dropped, as
// playback would drop it. False, with one line logged, when there is no picture.
bool project_render_input(Project& p, int mode, RenderInput& in, const char** mode_name)
{
    if (!p.composite || p.width <= 0 || p.height < 2) {
        log_printf(stderr, "Error: render_project_to_sound(): the project has no picture to render\n");
        return false;
    }
    const bool chosen = mode == synthesis_noise || mode == synthesis_live || mode == synthesis_lossless;
    bool lossless = chosen ? mode == synthesis_lossless : p.lossless;
    const bool live = chosen ? mode == synthesis_live : p.live_synthesis.load();
    if (lossless) {
        SynthesisMessage m = lossless_turn_on_check(p.original_sound_length, p.original_image ? p.original_image_width : 0,
                                                    p.original_image ? p.original_image_height : 0);
        if (!m.title)
            m = lossless_size_check(true, p.width, p.height, p.original_image_width, p.original_image_height);
        if (m.title) {
            log_printf(stderr, "Warning: %s: rendering without lossless mode\n", m.title);
            lossless = false;
        }
    }
    in = RenderInput();
    in.picture = p.composite;
    in.width = p.width;
    in.height = p.height;
    in.fmin = p.fmin;
    in.fmax = p.fmax;
    in.scale_base = p.scale_base;
    in.time_resolution = p.time_resolution;
    in.sample_rate = p.sample_rate;
    in.long_blocks = p.long_blocks;
    in.mode = lossless ? synthesis_lossless : live ? synthesis_live : synthesis_noise;
    in.original_image = p.original_image;
    in.original_sound = p.original_sound.empty() ? nullptr : p.original_sound.data();
    in.original_sound_length = p.original_sound_length;
    in.original_sound_size = (long long)p.original_sound.size();
    *mode_name = lossless ? "lossless" : live ? "live" : "noise";
    return true;
}

// What follows the renderer: the limiter of live playback, and full scale.
void finish_rendering(std::vector<float>& out, const RenderInput& in, const char* mode_name, PrefStore* limiter_prefs)
{
    if (in.mode == synthesis_live)
        limit_like_playback(out, in.sample_rate, limiter_prefs);
    keep_within_full_scale(out, mode_name);
}

}  // namespace

bool render_project_to_sound(Project& p, std::vector<float>& out, bool progress, int mode, PrefStore* limiter_prefs)
{
    out.clear();
    std::lock_guard<std::mutex> lock(p.image_lock);
    RenderInput in;
    const char* mode_name = "";
    if (!project_render_input(p, mode, in, &mode_name))
        return false;
    RenderProgress shown;
    if (progress) {
        progress_begin(shown.line, std::string("Rendering sound (") + mode_name + " synthesis)");
        in.progress = print_progress;
        in.user = &shown;
    }
    const bool rendered = render_to_sound(in, out);
    if (progress)
        progress_end(shown.line, rendered ? 1.0 : shown.last);
    if (!rendered)
        return false;
    finish_rendering(out, in, mode_name, limiter_prefs);
    return true;
}

SoundRenderSnapshot::~SoundRenderSnapshot()
{
    image_free(picture);
    image_free(original_image);
}

void sound_snapshot_clear(SoundRenderSnapshot& s)
{
    image_free(s.picture);
    image_free(s.original_image);
    s.picture = s.original_image = nullptr;
    s.original_sound.clear();
    s.original_sound.shrink_to_fit();
    s.input = RenderInput();
}

bool snapshot_project_sound(Project& p, SoundRenderSnapshot& s, int mode)
{
    std::lock_guard<std::mutex> lock(p.image_lock);
    sound_snapshot_clear(s);
    if (!project_render_input(p, mode, s.input, &s.mode_name))
        return false;
    s.picture = image_copy(p.composite, p.height, p.width);
    s.input.picture = s.picture;
    if (s.input.mode == synthesis_lossless) {
        s.original_image = image_copy(p.original_image, p.original_image_height, p.original_image_width);
        s.original_sound = p.original_sound;
    }
    s.input.original_image = s.original_image;
    s.input.original_sound = s.original_sound.empty() ? nullptr : s.original_sound.data();
    s.input.original_sound_size = (long long)s.original_sound.size();
    return s.picture != nullptr;
}

bool render_sound_snapshot(const SoundRenderSnapshot& s, std::vector<float>& out, PrefStore* limiter_prefs,
                           void (*progress)(void* user, double fraction), void* user, const std::atomic<bool>* cancel)
{
    out.clear();
    if (!s.picture)
        return false;
    RenderInput in = s.input;
    in.progress = progress;
    in.user = user;
    in.cancel = cancel;
    if (!render_to_sound(in, out) || (cancel && cancel->load())) {
        out.clear();
        return false;
    }
    finish_rendering(out, in, s.mode_name, limiter_prefs);
    return true;
}
