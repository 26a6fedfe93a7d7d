#include "commands/sound_save_job.h"

#include <algorithm>
#include <functional>
#include <system_error>
#include <vector>

#include "commands/app.h"
#include "layers/composite.h"
#include "media/sound_write.h"
#include "support/log.h"
#include "support/paths.h"

namespace {

// Rendering is nearly all of the work; the last step is kept for the writing.
constexpr double render_share = 0.97;

void note_progress(void* user, double fraction)
{
    SoundSaveJob& job = *(SoundSaveJob*)user;
    const double value = std::min(1.0, std::max(0.0, fraction)) * render_share;
    if (value > job.progress.load())
        job.progress.store(value);
}

void save_worker(SoundSaveJob& job)
{
    std::vector<float> samples;
    int outcome = sound_save_failed;
    if (render_sound_snapshot(job.snapshot, samples, job.limiter_prefs, note_progress, &job, &job.cancel)) {
        if (save_sound_file(job.path, samples.data(), samples.size(), job.sample_rate, &job.cancel)) {
            outcome = sound_save_written;
            job.progress.store(1.0);
        }
    }
    if (outcome != sound_save_written && job.cancel.load())
        outcome = sound_save_cancelled;
    job.outcome = outcome;
    job.done.store(true, std::memory_order_release);
}

}  // namespace

SoundSaveJob::~SoundSaveJob() { sound_save_stop(*this); }

bool sound_save_start(App& app, SoundSaveJob& job, const std::string& path)
{
    if (job.running.load()) {
        log_printf(stderr, "Error: %s is being saved: %s is not saved until that save ends or is cancelled\n",
                   job.path.c_str(), path.c_str());
        return false;
    }
    if (!sound_file_writable(path)) {
        log_printf(stderr, "Error: %s: sounds are saved as WAV, AIFF or FLAC files only\n", path.c_str());
        return false;
    }
    Project& p = app.project;
    if (p.recomposite_needed)
        composite_layers(p, app.view_current_group_only);
    if (!snapshot_project_sound(p, job.snapshot, app.sound_save_mode))
        return false;
    job.path = path;
    job.progress.store(0.0);
    job.cancel.store(false);
    job.done.store(false);
    job.outcome = sound_save_running;
    job.limiter_prefs = app.prefs;
    job.sample_rate = p.sample_rate;
    job.running.store(true);
    try {
        job.thread = std::thread(save_worker, std::ref(job));
    } catch (const std::system_error&) {
        log_printf(stderr, "Error: no thread could be started to save %s\n", path.c_str());
        job.running.store(false);
        job.outcome = sound_save_idle;
        sound_snapshot_clear(job.snapshot);
        return false;
    }
    log_printf(stdout, "Saving the sound to %s (%s synthesis)\n", path.c_str(), job.snapshot.mode_name);
    return true;
}

int sound_save_poll(SoundSaveJob& job)
{
    if (!job.running.load())
        return sound_save_idle;
    if (!job.done.load(std::memory_order_acquire))
        return sound_save_running;
    if (job.thread.joinable())
        job.thread.join();
    job.running.store(false);
    const int outcome = job.outcome;
    job.outcome = sound_save_idle;
    // The copy of the project can be large: it goes as soon as the save is over.
    sound_snapshot_clear(job.snapshot);
    if (outcome == sound_save_written)
        log_printf(stdout, "Saved the sound to %s\n", job.path.c_str());
    else if (outcome == sound_save_cancelled)
        log_printf(stdout, "Saving %s cancelled: nothing was written\n", job.path.c_str());
    return outcome;
}

bool sound_save_cancel(SoundSaveJob& job)
{
    if (!job.running.load() || job.done.load())
        return false;
    job.cancel.store(true);
    return true;
}

void sound_save_stop(SoundSaveJob& job)
{
    if (!job.running.load())
        return;
    sound_save_cancel(job);
    if (job.thread.joinable())
        job.thread.join();
    sound_save_poll(job);
}
