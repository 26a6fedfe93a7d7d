// Rendering the whole project to a sound file: what `Save "x.wav"` and `Save "x.aif"` write.
#pragma once
#include <string>

struct App;

// Renders the project as it would be heard (in the mode app.sound_save_mode chose, if any)
// and writes it by the path's extension.
// A name no sound writer takes (WAV, AIFF, FLAC) is refused, with one log line, before
// anything is rendered. Returns true when the file was written.
bool save_project_sound(App& app, const std::string& path);
