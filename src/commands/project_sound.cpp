#include "commands/project_sound.h"

#include <vector>

#include "commands/app.h"
#include "media/sound_write.h"
#include "project/project_synthesis.h"

bool save_project_sound(App& app, const std::string& path)
{
    std::vector<float> samples;
    if (!render_project_to_sound(app.project, samples, true, app.sound_save_mode, app.prefs))
        return false;
    return save_sound_file(path, samples.data(), samples.size(), app.project.sample_rate);
}
