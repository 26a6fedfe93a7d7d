// Writing a mono sound as 32-bit float samples: WAV (format tag 3) or AIFF-C ("fl32").
#pragma once
#include <cstddef>
#include <string>

// Writes `count` samples at `sample_rate` Hz by the path's lower-cased extension: "wav" a
// WAV file; "aif", "aiff" or "aifc" an AIFF-C file. Another extension, a rate that is not
// positive, or a sound too long for the format's 32-bit sizes writes nothing. Returns true
// when the file was written; every failure logs one line.
bool save_sound_file(const std::string& path, const float* samples, size_t count, int sample_rate);
