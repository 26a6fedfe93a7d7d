// Writing a mono sound: 32-bit float samples in WAV (format tag 3) or AIFF-C ("fl32"), or
// 24-bit FLAC. Every file goes through a save temporary, so a failed save keeps the old file.
#pragma once
#include <atomic>
#include <cstddef>
#include <string>

// Writes `count` samples at `sample_rate` Hz by the path's lower-cased extension: "wav" a
// WAV file; "aif", "aiff" or "aifc" an AIFF-C file; "flac" a FLAC file. Another extension, a rate that is not
// positive, or a sound too long for the format's 32-bit sizes writes nothing. Returns true
// when the file was written; every failure logs one line.
//
// `cancel`, raised by another thread before the file is complete, gives the save up: the
// temporary is removed, an earlier file under the name is left as it was, nothing is logged
// and the result is false.
bool save_sound_file(const std::string& path, const float* samples, size_t count, int sample_rate,
                     const std::atomic<bool>* cancel = nullptr);

// 24-bit FLAC at `sample_rate` (a rate FLAC can carry); samples beyond full scale are clipped.
bool save_flac_file(const std::string& path, const float* samples, size_t count, int sample_rate,
                    const std::atomic<bool>* cancel = nullptr);

// Whether save_sound_file writes a file by this name's extension (WAV, AIFF, FLAC): asked
// before a sound is rendered for it, so that a name it cannot write costs no rendering.
bool sound_file_writable(const std::string& path);
