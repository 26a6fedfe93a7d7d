#include "media/project_sound.h"

#include "support/log.h"

bool save_project_sound(App& app, const std::string& path) { log_printf(stderr, "Saving sound files is not available in this build\n"); return false; }
