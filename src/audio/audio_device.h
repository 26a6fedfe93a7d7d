// The one SDL audio device of the run: 32-bit float stereo at the internal sample rate, fed by
// a callback on SDL's audio thread that plays the engine's output and passes it through the
// volume limiter last.
//
// The driver and the device are chosen from the preferences by case-insensitive substring
// match, falling back to the default driver and to device 0. A machine without sound (no
// driver, no device) is not an error: the device stays closed, one line says so, and
// everything else runs as before; nothing ever waits for a callback.
#pragma once
#include <SDL.h>

#include <atomic>
#include <string>
#include <vector>

#include "audio/output_recorder.h"
#include "engine/limiter.h"

struct PlaybackState;
struct Project;

struct PrefStore;

// ---- Choosing by name (no SDL state involved) ------------------------------------------

// The default driver: the one named exactly "wasapi", else the first; -1 for an empty list.
int audio_default_driver(const std::vector<std::string>& drivers);
// The first name that contains `wanted`, ignoring case; `fallback` when none does.
int audio_match_name(const std::vector<std::string>& names, const std::string& wanted, int fallback);
// One line per field where the granted format differs from the request: frequency, format,
// channels, buffer size (not an error: devices round it), callback, user data.
std::string audio_format_report(const SDL_AudioSpec& wanted, const SDL_AudioSpec& obtained);

// The audio output window's message after re-opening, paragraphs separated by an empty line:
// resampling when the device's own rate differs from the granted one, the buffer size when it
// was not granted, and the advice to relaunch when the rate changed since the window opened.
std::string audio_reopen_message(int internal_rate, int device_rate, int requested_samples,
                                 int granted_samples, int granted_rate, int rate_at_open);

// What SDL offers: every driver compiled in; the output devices of the current driver (empty
// when it has none or cannot list them).
std::vector<std::string> audio_driver_names();
std::vector<std::string> audio_device_names();

// ---- The device ------------------------------------------------------------------------

// The device and what its callback needs besides the playback state. The main thread changes
// these fields only while the device is closed; the limiter's settings are atomic.
struct AudioOutput {
    SDL_AudioDeviceID device = 0;   // 0: no device open
    int sample_rate = 44100;        // the internal rate sr, requested from the device
    int buffer_length = 1024;       // frames per callback
    std::string driver_name;        // the driver in use, "" when none could be started
    std::string device_name;        // the device opened ("" for the driver's default)
    std::string failure;            // why no driver started, for the one line that says so

    PlaybackState* playback = nullptr;  // what the callback plays; null: silence
    LimiterState limiter;           // the callback's own: runs after the playback lock is released
    std::atomic<long long> callbacks{0};  // callbacks run since the device was opened
    OutputRecorder recorder;        // what the callback plays, after the limiter, into a file

    AudioOutput() = default;
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;
    ~AudioOutput();  // closes a device still open, so no callback outlives what it plays
};

// Restarts SDL's audio on the preferred driver ("Audio output:Preferred driver", defaulting
// to the default driver's name). When that driver does not start, SDL picks one itself
// (honouring SDL_AUDIODRIVER). Returns false when no driver starts.
bool audio_select_driver(AudioOutput& out, PrefStore& store);
// Restarts SDL's audio on driver `index` of audio_driver_names(), for the driver menu of the
// audio output window. Returns false when it does not start.
bool audio_switch_driver(AudioOutput& out, int index);

// Opens the preferred device of the current driver ("Audio output:Preferred device",
// defaulting to device 0) with out.sample_rate and out.buffer_length and no allowed changes,
// logs the format differences, and stores the granted buffer size as the buffer length and
// in "Audio output:Buffer length". The device starts paused. Returns false, with one line in
// the log, when no device opens.
bool audio_open_device(AudioOutput& out, PrefStore& store);

// The audio output window's "Apply": clamps the rate to 8,000-384,000 Hz and the buffer to
// 200-32,768 frames, closes the device, probes device `device_index` of the current driver
// for its own format, opens it again with no allowed changes and unpauses it, and stores rate,
// buffer length, driver and device. Returns the window's message: a paragraph each when the
// device resamples, when the buffer size was not granted, and when the rate differs from
// `rate_at_open` (the rate in use when the window was opened).
std::string audio_reopen_device(AudioOutput& out, PrefStore& store, int device_index,
                                int sample_rate, int buffer_length, int rate_at_open);

// Start-up: reads the limiter's settings (so that the audio thread never reads the file),
// selects the driver, opens the device and unpauses it; what out.playback plays is heard from
// now on. Returns false when the machine has no sound (one line in the log); the program
// carries on without, and nothing waits for a callback.
bool audio_start_output(AudioOutput& out, PrefStore& store);

// The program's audio start: the playback state set up for the project (stopped, so the
// callback plays silence until playback starts), then the device started at the project's
// sample rate with out.buffer_length frames per callback. Returns what audio_start_output does.
bool audio_init(AudioOutput& out, PlaybackState& playback, Project& project, PrefStore& store);

// Closes the device (waiting for a callback in progress) and stops SDL's audio.
void audio_close(AudioOutput& out);

// Starts recording what the callback plays into a stereo float WAV at the device's rate,
// finishing a recording in progress first. False, with one log line, when the file cannot be
// created.
bool audio_record_start(AudioOutput& out, const std::string& path);
// Finishes the recording: nothing the callback pushed before is lost.
void audio_record_finish(AudioOutput& out);
