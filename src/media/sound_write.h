// Writing a mono sound: 32-bit float samples in WAV (format tag 3) or AIFF-C ("fl32"), or
// 24-bit FLAC. Every file goes through a save temporary, so a failed save keeps the old file.
#pragma once
#include <cstddef>
#include <string>

// Writes `count` samples at `sample_rate` Hz by the path's lower-cased extension: "wav" a
// WAV file; "aif", "aiff" or "aifc" an AIFF-C file; "flac" a FLAC file. Another extension, a rate that is not
// positive, or a sound too long for the format's 32-bit sizes writes nothing. Returns true
// when the file was written; every failure logs one line.
bool save_sound_file(const std::string& path, const float* samples, size_t count, int sample_rate);

// 24-bit FLAC at `sample_rate` (a rate FLAC can carry); samples beyond full scale are clipped.
bool save_flac_file(const std::string& path, const float* samples, size_t count, int sample_rate);
