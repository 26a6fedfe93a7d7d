#include "commands/project_sound.h"

#include <vector>

#include "commands/app.h"
#include "media/sound_write.h"
#include "project/project_synthesis.h"
#include "support/log.h"

bool save_project_sound(App& app, const std::string& path)
{
    // A name no writer takes is refused before the (long) rendering.
    if (!sound_file_writable(path)) {
        log_printf(stderr, "Error: %s: sounds are saved as WAV, AIFF or FLAC files only\n", path.c_str());
        return false;
    }
    std::vector<float> samples;
    if (!render_project_to_sound(app.project, samples, true, app.sound_save_mode, app.prefs))
        return false;
    return save_sound_file(path, samples.data(), samples.size(), app.project.sample_rate);
}
