// Keeping the sound in step with the picture: the restart that the main loop applies once per
// iteration, the worker threads that render blocks (those in view first), the stop protocol,
// switching live synthesis on and off, the live noise bank's background build and the live
// level estimate.
#pragma once
#include "engine/playback.h"

// What the main loop knows at one iteration: the picture and original sound (see
// SynthesisInput), the synthesis parameters as the knobs show them, whether one of those knobs
// is being dragged, the mode toggles and the project's content-changed mark (1 pixels,
// 3 dimensions as well, 2 changed without clearing the rendered sound).
struct SynthesisRequest {
    SynthesisInput input;
    int original_width = 0, original_height = 0;
    long long original_sound_length = 0;        // real samples, before padding
    float fmin = 27.5f, fmax = 20000.0f, scale_base = 2.0f, time_resolution = 100.0f;
    bool dragging = false;
    bool long_blocks = false;
    bool live_synthesis = false;
    bool lossless = false;
    int content_changed = 0;
};

// The set-up and restart rule, for a project that has a composite. A restart is due when the
// content-changed mark is set, when the mode changed, or when one of the four parameters differs
// from the playback state's copy while no knob is dragged. Then: in a block mode playing pauses
// and the play position returns to 0 (only when the content or the time resolution changed);
// the workers stop; the block plan, output chunks and block status are recomputed; carriers,
// lossless set-up or noise bank are rebuilt when what they depend on changed; the rendered
// sound is cleared (not for mark 2); the parameters are copied; playing resumes; block modes
// start the workers. Returns whether a restart happened. With lossless on and a picture whose
// size differs from the original picture, *message says so and the update goes on as if
// lossless were off (the caller turns it off and shows the message).
bool synthesis_update(PlaybackState& s, const SynthesisRequest& r, SynthesisMessage* message = nullptr);

// Stop protocol: raise the abort mark, join every worker and the level estimate, lower the mark.
void synthesis_stop_workers(PlaybackState& s);
// Blocks first..last (clamped to the plan) rendered again from the current picture, after a
// tool stroke changed them: the workers stop, the blocks become pending and the workers start
// again, those in view first. Nothing happens in live mode or before the first restart.
void synthesis_render_blocks_again(PlaybackState& s, int first, int last);
// Everything stopped and joined, the bank builder included (the state's destructor calls this).
void synthesis_shutdown(PlaybackState& s);

// Live synthesis switched on: workers stopped, output released, the noise bank built in the
// background (the caller recomposites, which refreshes the picture and the level). With
// lossless on the block renderer keeps playing and only the toggle changes.
void live_synthesis_on(PlaybackState& s, const SynthesisRequest& r);
// Switched off: output sized for the picture again, the live position carried over to the play
// position, the bank freed, and block synthesis restarted.
void live_synthesis_off(PlaybackState& s, const SynthesisRequest& r);

// The live level divisor from the picture's loudest column; a silent picture leaves it as it is.
// Runs on the caller's thread.
void live_level_estimate(PlaybackState& s);
// The same on a thread of its own (after each composite in live mode); waits for the previous
// one first. Safe to call from any thread. `level_estimate_hook` has the compositor's signature.
void start_level_estimate(PlaybackState& s);
void level_estimate_hook(void* state);

// Waits until a background noise-bank build has finished (tests and rendering use it).
void wait_for_noise_bank(PlaybackState& s);
