// The project's side of synthesis and playback: what the main loop hands the engine each
// iteration, switching live synthesis, and rendering the whole project to sound for saving.
#pragma once
#include <atomic>
#include <vector>

#include "engine/render.h"
#include "engine/synthesis_workers.h"
#include "project/project.h"

struct PrefStore;

// The synthesis parameters as the button bar shows them, and whether one is being dragged.
struct SynthesisKnobs {
    float fmin = 27.5f, fmax = 20000.0f, scale_base = 2.0f, time_resolution = 100.0f;
    bool dragging = false;
};
// The project's own values, not dragged (what a run without knobs uses).
SynthesisKnobs project_knobs(const Project& p);

// Playback state for this project: its sample rate, the analysis range and resolution as the
// initial synthesis parameters, live mode reading the project's synthesis copy.
void project_playback_init(PlaybackState& s, Project& p, int workers = 0);

SynthesisRequest project_synthesis_request(Project& p, const SynthesisKnobs& knobs);

// The main loop's synthesis step, for a project with a composite: set-up and restart rule,
// then the content-changed mark is cleared. When lossless mode had to be turned off (no
// original, or a picture of another size), p.lossless becomes false and *message says why.
// Returns whether synthesis restarted.
bool project_synthesis_update(PlaybackState& s, Project& p, const SynthesisKnobs& knobs,
                              SynthesisMessage* message = nullptr);

// Switching live synthesis on or off (the menu toggle). Switching on marks the composite stale,
// so that the next recomposite refreshes the synthesis copy and the level estimate.
void project_live_synthesis(PlaybackState& s, Project& p, bool on, const SynthesisKnobs& knobs);

// The whole output of `mode` (synthesis_noise, synthesis_live or synthesis_lossless; -1: the
// project's mode, lossless, else live with live synthesis on, else noise) into `out` at the
// project's sample rate, never beyond full scale. Block modes are normalised as playback
// normalises them; live mode goes through the volume limiter as playback does, with the
// limiter's settings of `limiter_prefs` (null: the run's main store), so that the file is
// what is heard; should it still exceed full scale (the limiter off, or its threshold above
// 0 dB), it is scaled down to full scale with one warning. The composite must be current.
// Lossless mode that cannot work (no original, another size) is reported and the project is
// rendered as playback would then play it. With `progress`, progress lines go to standard
// error. Returns false, with one line logged, when there is nothing to render.
bool render_project_to_sound(Project& p, std::vector<float>& out, bool progress = false, int mode = -1,
                             PrefStore* limiter_prefs = nullptr);

// A copy of what rendering the project to sound reads (the composite, and for lossless mode
// the original picture and sound), so that the rendering can run on a thread of its own
// while the project goes on changing, and without holding the project's image lock.
struct SoundRenderSnapshot {
    RenderInput input;               // points into the copies below
    const char* mode_name = "";      // "lossless", "live" or "noise"
    Image picture = nullptr;
    Image original_image = nullptr;
    std::vector<float> original_sound;
    SoundRenderSnapshot() = default;
    SoundRenderSnapshot(const SoundRenderSnapshot&) = delete;
    SoundRenderSnapshot& operator=(const SoundRenderSnapshot&) = delete;
    ~SoundRenderSnapshot();
};

// Takes the copy under the image lock, resolving the mode as render_project_to_sound does.
// The composite must be current. False, with one line logged, when there is nothing to render.
bool snapshot_project_sound(Project& p, SoundRenderSnapshot& s, int mode = -1);
// Frees the copy.
void sound_snapshot_clear(SoundRenderSnapshot& s);
// Renders the copy as render_project_to_sound renders the project, reporting the fraction
// done to `progress` (on the calling thread) and stopping when `cancel` is raised: then the
// result is false with `out` empty, and nothing is logged.
bool render_sound_snapshot(const SoundRenderSnapshot& s, std::vector<float>& out, PrefStore* limiter_prefs,
                           void (*progress)(void* user, double fraction), void* user,
                           const std::atomic<bool>* cancel);
