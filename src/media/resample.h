// Sample-rate conversion by zero-padding or truncating the spectrum of the whole sound.
#pragma once
#include <vector>

// `samples` (one channel at `from_rate` Hz) converted to `to_rate` Hz: one forward transform
// of the sound padded to whole seconds of the source rate, the spectrum copied into the
// length of the same whole seconds at the target rate (tapered near its top when the band
// shrinks), one backward transform, trimmed to round(count × to_rate / from_rate).
// The orthonormal transforms leave a gain of sqrt(from_rate / to_rate), which is kept.
// The input is consumed. Empty, with one log line, for an empty input, a rate outside
// 1 .. sound_rate_max, or transforms longer than the reader's sample limit.
std::vector<float> resample_sound(std::vector<float> samples, int from_rate, int to_rate);
