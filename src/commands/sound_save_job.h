// Saving the project's sound from the interface without stopping the window: the project is
// copied as it stands, then rendered and written on a worker thread that reports its progress
// and can be cancelled. The file goes through a save temporary renamed into place, so a
// cancelled or failed save leaves nothing new under the name (an earlier file stays whole).
#pragma once
#include <atomic>
#include <string>
#include <thread>

#include "project/project_synthesis.h"

struct App;

enum : int {
    sound_save_idle = 0,       // no save started, or its outcome was taken
    sound_save_running,
    sound_save_written,        // the file is in place
    sound_save_failed,         // nothing written (the log says why)
    sound_save_cancelled,      // stopped on request: nothing written
};

struct SoundSaveJob {
    std::string path;                    // the file being written
    std::atomic<double> progress{0.0};   // 0 to 1: rendering, then 1 once written
    std::atomic<bool> cancel{false};     // raised by the interface
    std::atomic<bool> running{false};    // a worker was started and its outcome not yet taken
    std::atomic<bool> done{false};       // the worker has finished; `outcome` tells how
    int outcome = sound_save_idle;       // written by the worker before `done`
    SoundRenderSnapshot snapshot;        // what the worker renders
    PrefStore* limiter_prefs = nullptr;
    int sample_rate = 44100;
    std::thread thread;

    SoundSaveJob() = default;
    SoundSaveJob(const SoundSaveJob&) = delete;
    SoundSaveJob& operator=(const SoundSaveJob&) = delete;
    ~SoundSaveJob();                     // a save still running is cancelled and waited for
};

// Starts saving the sound of `app`'s project under `path` (WAV, AIFF or FLAC by the
// extension), in the mode the "Save" command would use. The composite is brought up to date
// and copied first, on the calling thread. Refused with one log line and false, before
// anything is rendered: a name no sound writer takes, a save already running, a project
// without a picture, or a worker that cannot start.
bool sound_save_start(App& app, SoundSaveJob& job, const std::string& path);
// The state of the job: sound_save_running while the worker works; once it has finished,
// its outcome, given once (the worker is joined and the job becomes idle).
int sound_save_poll(SoundSaveJob& job);
// Asks the worker to stop; it leaves no file and no temporary behind. False when none runs.
bool sound_save_cancel(SoundSaveJob& job);
// Cancels a save still running and waits for its worker (closing the program).
void sound_save_stop(SoundSaveJob& job);
