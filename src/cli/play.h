// sonographica-cli --play: the project heard once through the sound card, as the editor
// would play it.
#pragma once

struct App;

// Composites the project, starts the audio device (`buffer_length` frames per callback) and
// synthesis in the project's mode, and plays from the first sample to the last, showing the
// position and the duration on one line of standard error that refreshes. Ends at the end of
// the sound, or early on Ctrl+C. Returns 0 when played to the end, 130 when interrupted, 1
// when there is no picture or no sound card (one line says which).
int play_project(App& app, int buffer_length);
