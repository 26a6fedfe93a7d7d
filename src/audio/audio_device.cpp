#include "audio/audio_device.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <dlfcn.h>

#include "engine/playback.h"
#include "project/project_synthesis.h"
#include "support/log.h"
#include "support/prefs.h"

static const char* const key_driver = "Audio output:Preferred driver";
static const char* const key_device = "Audio output:Preferred device";
static const char* const key_buffer = "Audio output:Buffer length";
static const char* const key_rate = "Audio output:Sample rate";

// ---- Choosing by name -------------------------------------------------------------------

int audio_default_driver(const std::vector<std::string>& drivers)
{
    for (size_t i = 0; i < drivers.size(); i++)
        if (drivers[i] == "wasapi")
            return (int)i;
    return drivers.empty() ? -1 : 0;
}

static std::string lower(const std::string& s)
{
    std::string r = s;
    for (char& c : r)
        c = (char)std::tolower((unsigned char)c);
    return r;
}

int audio_match_name(const std::vector<std::string>& names, const std::string& wanted, int fallback)
{
    std::string w = lower(wanted);
    for (size_t i = 0; i < names.size(); i++)
        if (lower(names[i]).find(w) != std::string::npos)
            return (int)i;
    return fallback;
}

std::string audio_format_report(const SDL_AudioSpec& wanted, const SDL_AudioSpec& obtained)
{
    std::string report;
    char line[160];
    auto add = [&](const char* format, unsigned a, unsigned b) {
        snprintf(line, sizeof line, format, a, b);
        report += line;
    };
    if (obtained.freq != wanted.freq)
        add("Error: sdlaudioformat.freq\t> wanted : %6d\tobtained : %6d\n", wanted.freq, obtained.freq);
    if (obtained.format != wanted.format)
        add("Error: sdlaudioformat.format\t> wanted : %6x\tobtained : %6x\n", wanted.format, obtained.format);
    if (obtained.channels != wanted.channels)
        add("Error: sdlaudioformat.channels\t> wanted : %6d\tobtained : %6d\n", wanted.channels, obtained.channels);
    if (obtained.samples != wanted.samples)
        add("sdlaudioformat.samples\t> wanted : %6d\tobtained : %6d\n", wanted.samples, obtained.samples);
    // The pointers are shown by their low 32 bits, as the field width suggests.
    if (obtained.callback != wanted.callback)
        add("Error: sdlaudioformat.callback\t> wanted : %6x\tobtained : %6x\n",
            (unsigned)(uintptr_t)wanted.callback, (unsigned)(uintptr_t)obtained.callback);
    if (obtained.userdata != wanted.userdata)
        add("Error: sdlaudioformat.userdata\t> wanted : %6x\tobtained : %6x\n",
            (unsigned)(uintptr_t)wanted.userdata, (unsigned)(uintptr_t)obtained.userdata);
    return report;
}

std::string audio_reopen_message(int internal_rate, int device_rate, int requested_samples,
                                 int granted_samples, int granted_rate, int rate_at_open)
{
    std::vector<std::string> paragraphs;
    char text[400];
    if (device_rate != granted_rate) {
        snprintf(text, sizeof text,
                 "The internal sample rate of %d Hz is converted to %d Hz. If you don't want such "
                 "resampling try changing the requested sample rate to %d Hz.\n",
                 internal_rate, device_rate, device_rate);
        paragraphs.push_back(text);
    }
    if (granted_samples != requested_samples) {
        snprintf(text, sizeof text, "The audio buffer size is %d samples instead of the requested %d samples.\n",
                 granted_samples, requested_samples);
        paragraphs.push_back(text);
    }
    if (granted_rate != rate_at_open)
        paragraphs.push_back("You should probably relaunch Sonographica after changing the sample rate.\n");
    std::string message;
    for (size_t i = 0; i < paragraphs.size(); i++)
        message += (i ? "\n" : "") + paragraphs[i];
    return message;
}

std::vector<std::string> audio_driver_names()
{
    std::vector<std::string> names;
    int n = SDL_GetNumAudioDrivers();
    for (int i = 0; i < n; i++) {
        const char* name = SDL_GetAudioDriver(i);
        names.push_back(name ? name : "");
    }
    return names;
}

std::vector<std::string> audio_device_names()
{
    std::vector<std::string> names;
    int n = SDL_GetNumAudioDevices(0);  // -1: the driver cannot list them
    for (int i = 0; i < n; i++) {
        const char* name = SDL_GetAudioDeviceName(i, 0);
        names.push_back(name ? name : "");
    }
    return names;
}

// ---- The callback -------------------------------------------------------------------------

static void audio_callback(void* userdata, Uint8* stream, int length)
{
    AudioOutput& out = *(AudioOutput*)userdata;
    memset(stream, 0, (size_t)length);
    float* stereo = (float*)stream;
    int frames = length / (int)(2 * sizeof(float));
    // The player takes the playback lock for the whole fill and releases it before the limiter.
    if (out.playback)
        fill_output(*out.playback, frames, stereo);
    limit_volume(stereo, 2, frames, out.sample_rate, out.limiter);
    output_recorder_push(out.recorder, stereo, frames);
    out.callbacks.fetch_add(1, std::memory_order_relaxed);
}

// ---- Driver and device --------------------------------------------------------------------

// No-op: ALSA's library prints its own diagnostics (several lines for a machine without a
// sound card) straight to standard error; what matters reaches us through SDL_GetError.
static void quiet_alsa(const char*, int, const char*, int, const char*, ...) {}

// SDL loads ALSA's library when that driver starts; once it is there, its printing is
// turned off, so that a machine without sound gets one line from us and nothing else.
static void silence_alsa_library()
{
    void* lib = dlopen("libasound.so.2", RTLD_NOW | RTLD_NOLOAD);
    if (!lib)
        return;
    typedef int (*set_handler)(void (*)(const char*, int, const char*, int, const char*, ...));
    if (set_handler set = (set_handler)dlsym(lib, "snd_lib_error_set_handler"))
        set(quiet_alsa);
    dlclose(lib);
}

static bool start_driver(AudioOutput& out, const char* name)
{
    SDL_AudioQuit();
    if (SDL_AudioInit(name) != 0)
        return false;
    const char* current = SDL_GetCurrentAudioDriver();
    out.driver_name = current ? current : "";
    if (out.driver_name == "alsa")
        silence_alsa_library();
    return true;
}

bool audio_select_driver(AudioOutput& out, PrefStore& store)
{
    std::vector<std::string> drivers = audio_driver_names();
    int def = audio_default_driver(drivers);
    out.driver_name.clear();
    out.failure.clear();
    if (def < 0) {
        out.failure = "no audio driver in this build of SDL";
        return false;
    }
    std::string preferred = pref_get_text(store, key_driver, drivers[def].c_str());
    // A driver named in the environment for this run (a headless session, a test) comes
    // before the stored preference, which stays as it is.
    if (const char* forced = getenv("SDL_AUDIODRIVER"); forced && *forced)
        preferred = forced;
    int chosen = audio_match_name(drivers, preferred, def);
    if (start_driver(out, drivers[chosen].c_str()))
        return true;
    // The chosen driver has no server or hardware behind it here; SDL's own order (or
    // SDL_AUDIODRIVER) may still find one that works.
    out.failure = "driver \"" + drivers[chosen] + "\": " + SDL_GetError();
    if (start_driver(out, nullptr))
        return true;
    out.failure += std::string("; any driver: ") + SDL_GetError();
    return false;
}

bool audio_switch_driver(AudioOutput& out, int index)
{
    std::vector<std::string> drivers = audio_driver_names();
    if (index < 0 || index >= (int)drivers.size())
        return false;
    if (out.device) {
        SDL_CloseAudioDevice(out.device);
        out.device = 0;
    }
    if (start_driver(out, drivers[index].c_str()))
        return true;
    log_printf(stderr, "Warning: audio driver \"%s\" could not be started (%s)\n",
               drivers[index].c_str(), SDL_GetError());
    out.driver_name.clear();
    return false;
}

static SDL_AudioSpec requested_format(AudioOutput& out)
{
    SDL_AudioSpec want;
    memset(&want, 0, sizeof want);
    want.freq = out.sample_rate;
    want.format = AUDIO_F32LSB;
    want.channels = 2;
    want.samples = (Uint16)std::clamp(out.buffer_length, 1, 32768);
    want.callback = audio_callback;
    want.userdata = &out;
    return want;
}

// Live mode's work buffer sized for the callbacks to come, so that the audio thread does not
// allocate.
static void size_live_buffer(AudioOutput& out, int frames)
{
    if (out.playback)
        playback_reserve(*out.playback, frames);
}

// Opens `name` (null: the driver's default device) with no allowed changes.
static SDL_AudioDeviceID open_exact(AudioOutput& out, const char* name, SDL_AudioSpec* granted)
{
    SDL_AudioSpec want = requested_format(out);
    memset(granted, 0, sizeof *granted);
    SDL_AudioDeviceID id = SDL_OpenAudioDevice(name, 0, &want, granted, 0);
    if (id) {
        size_live_buffer(out, std::max<int>(want.samples, granted->samples));
        out.callbacks = 0;
    }
    return id;
}

bool audio_open_device(AudioOutput& out, PrefStore& store)
{
    if (out.device) {
        SDL_CloseAudioDevice(out.device);
        out.device = 0;
    }
    if (out.driver_name.empty()) {
        log_printf(stderr, "No audio output: %s\n",
                   out.failure.empty() ? "no audio driver started" : out.failure.c_str());
        return false;
    }
    std::vector<std::string> devices = audio_device_names();
    const char* name = nullptr;  // the driver's default when it lists no devices
    if (!devices.empty()) {
        std::string preferred = pref_get_text(store, key_device, devices[0].c_str());
        out.device_name = devices[audio_match_name(devices, preferred, 0)];
        name = out.device_name.c_str();
    } else {
        out.device_name.clear();
    }

    SDL_AudioSpec want = requested_format(out), granted;
    out.device = open_exact(out, name, &granted);
    if (!out.device) {
        log_printf(stderr, "No audio output: device \"%s\" of driver \"%s\" could not be opened (%s)\n",
                   name ? name : "default", out.driver_name.c_str(), SDL_GetError());
        return false;
    }
    std::string report = audio_format_report(want, granted);
    for (size_t start = 0; start < report.size();) {
        size_t end = report.find('\n', start) + 1;
        log_printf(stdout, "%s", report.substr(start, end - start).c_str());
        start = end;
    }
    if (!out.failure.empty())
        log_printf(stdout, "Audio output through driver \"%s\" (%s)\n", out.driver_name.c_str(),
                   out.failure.c_str());
    out.buffer_length = granted.samples;
    pref_set_number(store, key_buffer, out.buffer_length, " samples");
    return true;
}

std::string audio_reopen_device(AudioOutput& out, PrefStore& store, int device_index,
                                int sample_rate, int buffer_length, int rate_at_open)
{
    // Closed first: the callback reads the rate until its thread has ended.
    if (out.device) {
        SDL_CloseAudioDevice(out.device);
        out.device = 0;
    }
    out.sample_rate = std::clamp(sample_rate, 8000, 384000);
    out.buffer_length = std::clamp(buffer_length, 200, 32768);
    if (out.driver_name.empty())
        return "No audio driver is running.\n";
    std::vector<std::string> devices = audio_device_names();
    const char* name = nullptr;
    if (!devices.empty()) {
        if (device_index < 0 || device_index >= (int)devices.size())
            device_index = 0;
        out.device_name = devices[device_index];
        name = out.device_name.c_str();
    } else {
        out.device_name.clear();
    }

    // The device's own format, asked of the driver rather than found by opening the device a
    // second time: opening and at once closing a device raced with SDL's audio thread and
    // corrupted the heap now and then on a busy machine.
    SDL_AudioSpec want = requested_format(out), probe, granted;
    memset(&probe, 0, sizeof probe);
    const bool probed = name ? SDL_GetAudioDeviceSpec(device_index, 0, &probe) == 0
                             : SDL_GetDefaultAudioInfo(nullptr, &probe, 0) == 0;

    out.device = open_exact(out, name, &granted);
    if (!out.device) {
        // Nothing was granted: the stored settings stay those of the last working device.
        std::string msg = std::string("The audio device could not be opened: ") + SDL_GetError() + "\n";
        log_printf(stderr, "No audio output: %s", msg.c_str());
        return msg;
    }
    if (!probed || probe.freq <= 0)
        probe = granted;

    std::string message = audio_reopen_message(out.sample_rate, probe.freq, want.samples, granted.samples,
                                               granted.freq, rate_at_open);
    out.sample_rate = granted.freq;
    out.buffer_length = granted.samples;
    pref_set_number(store, key_buffer, out.buffer_length, " samples");
    pref_set_number(store, key_rate, out.sample_rate, " Hz");
    pref_set_text(store, key_driver, out.driver_name.c_str());
    pref_set_text(store, key_device, out.device_name.c_str());
    SDL_PauseAudioDevice(out.device, 0);
    return message;
}

bool audio_start_output(AudioOutput& out, PrefStore& store)
{
    out.limiter.prefs = &store;
    limiter_load_prefs(out.limiter, store);
    if (!audio_select_driver(out, store) || !audio_open_device(out, store))
        return false;
    SDL_PauseAudioDevice(out.device, 0);
    return true;
}

AudioOutput::~AudioOutput()
{
    if (device)
        SDL_CloseAudioDevice(device);
}

bool audio_init(AudioOutput& out, PlaybackState& playback, Project& project, PrefStore& store)
{
    project_playback_init(playback, project);
    out.playback = &playback;
    out.sample_rate = project.sample_rate;
    return audio_start_output(out, store);
}

void audio_close(AudioOutput& out)
{
    if (out.device)
        SDL_CloseAudioDevice(out.device);
    out.device = 0;
    output_recorder_finish(out.recorder);
    SDL_AudioQuit();
    out.driver_name.clear();
}

// ---- Recording the output -----------------------------------------------------------------

void audio_record_finish(AudioOutput& out)
{
    // Under the device's lock no callback is pushing; after it, none will.
    if (out.device)
        SDL_LockAudioDevice(out.device);
    out.recorder.recording = false;
    if (out.device)
        SDL_UnlockAudioDevice(out.device);
    output_recorder_finish(out.recorder);
}

bool audio_record_start(AudioOutput& out, const std::string& path)
{
    audio_record_finish(out);
    return output_recorder_start(out.recorder, path, out.sample_rate);
}
