// "Mix Channel Files to Stereo...": two sound files become the left and right channels of one
// stereo WAV file (32-bit float) at a given sample rate.
#pragma once
#include <string>

// Reads `left` and `right` (each mixed to one channel and resampled to `sample_rate` at its
// own loudness), pads
// the shorter with silence, and writes the pair to `out` through a save temporary, so that a
// failure keeps an existing file. Each step writes a progress line "Mixing to stereo: %d%%".
// Returns false, with one log line, when a file cannot be read or the result not written.
bool mix_channel_files(const std::string& left, const std::string& right, const std::string& out, int sample_rate);
