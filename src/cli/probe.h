// sonographica-cli --probe: what a sound file decodes to, for checking readers from scripts.
#pragma once

// Prints {"frames": N, "channels": C, "sample_rate": R, "peak": [...], "rms": [...]} for the
// file as read (every channel, the file's own rate), one value per channel with 17
// significant digits. Returns 0, or 1 when the file cannot be read (the reader has logged why).
int probe_sound_file(const char* path);
