// Reading sound files into float samples: WAV and AIFF/AIFF-C by our own readers, MP3, FLAC
// and Ogg Vorbis through their decoder libraries, then the channel selection of analysis.
//
// Every reader takes the file's bytes as untrusted input: offsets and sizes are checked
// against the buffer, a damaged or absurd file gives an empty result and one log line.
#pragma once
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

// A decoded sound. An empty `samples` means the read failed (the reason was logged);
// a successful read always holds at least one frame.
struct Sound {
    std::vector<float> samples;   // frames × channels, interleaved by frame
    size_t frames = 0;
    int channels = 0;
    int sample_rate = 0;          // Hz, as the file says
};

// Channel selection modes (the analysis parameter: left-only flag + 2 × right-only flag).
// 0 mixes all channels, 1 keeps channel 0, 2 keeps channel min(1, channels − 1), 3 keeps
// those two as a stereo pair; any other value keeps every channel as it is.
enum : int {
    sound_mix = 0,
    sound_left = 1,
    sound_right = 2,
    sound_left_right = 3,
    sound_all_channels = -1,
};

// Refused above this: a rate no recording uses, which would only make the resampler's
// transforms (padded to whole seconds of the source rate) absurdly large.
constexpr int sound_rate_max = 10000000;

// The most samples (frames × channels) a reader will produce. Compressed formats can encode
// long silences in a few bytes, so this is what bounds their output. Default 2^31 − 1,
// so every count also fits an int; the fuzz harnesses lower it.
void sound_set_sample_limit(size_t limit);
size_t sound_sample_limit();

struct free_deleter {
    void operator()(void* p) const { free(p); }
};
using byte_buffer = std::unique_ptr<unsigned char[], free_deleter>;

// The whole file followed by one zero byte (text parsers may stop at it); `size` does not
// count that byte. Null, after logging "File '%s' not found.\n", when it cannot be read.
byte_buffer read_whole_file(const char* path, size_t* size);

// Applies channel selection `mode` (see above) to `s` in place.
void select_channels(Sound& s, int mode);

// Decoders of a whole file held in memory; each applies channel selection `mode` and returns
// an empty Sound, with one log line, when the bytes are not a sound it can read.
Sound load_sound_wav_mem(const unsigned char* data, size_t size, int mode);
Sound load_sound_aiff_mem(const unsigned char* data, size_t size, int mode);
Sound load_sound_mp3_mem(const unsigned char* data, size_t size, int mode);
Sound load_sound_flac_mem(const unsigned char* data, size_t size, int mode);
Sound load_sound_ogg_mem(const unsigned char* data, size_t size, int mode);

// Opus through libopusfile (always 48 kHz, full scale -1 to +1 like the other decoder
// libraries); the file variant streams from the file.
Sound load_sound_opus_mem(const unsigned char* data, size_t size, int mode);
Sound load_sound_opus_file(const char* path, int mode);

// Every other sound format through libsndfile, streaming from the file: ADPCM and GSM WAV,
// RF64, Wave64, AU, CAF, VOC and the rest of what the library reads. Integer PCM and the
// codecs that decode to integers (G.711, ADPCM, GSM) come out at the scale of our own
// integer readers (-0.5 to +0.5), floats as they are, and the formats that our decoder-library
// readers handle (FLAC, Ogg, MPEG) at theirs (-1 to +1): a file reads the same whichever
// reader takes it. When the library does not take the file at all and `not_taken` is given,
// nothing is logged and `not_taken` holds the library's reason, for the caller's own message.
Sound load_sound_sndfile(const char* path, int mode, std::string* not_taken = nullptr);
Sound load_sound_sndfile_mem(const unsigned char* data, size_t size, int mode);

// What our own WAV and AIFF readers make of a file's first bytes: `own` false when the
// header names an encoding or a variant they do not decode, then `name` says which, for
// messages ("WAV format 0x0011 with 4 bits per sample", "AIFF-C compression 'ima4'").
// A header they cannot make sense of counts as theirs: their reader explains what is wrong.
struct SoundEncoding {
    bool own = true;
    std::string name;
};
SoundEncoding wav_encoding(const unsigned char* data, size_t size);
SoundEncoding aiff_encoding(const unsigned char* data, size_t size);

// The extensions whose files go to libsndfile when no reader of ours takes them, lower case.
bool sndfile_extension(const std::string& ext);

// Reads a sound file, choosing the decoder by the lower-cased extension: "wav", "wave";
// "aif", "aiff", "aifc"; "mp3"; "flac", "fla"; "ogg", "oga"; "opus"; and the extensions of
// sndfile_extension. Our own WAV and AIFF readers take what they decode; an encoding they do
// not (and a file too large to hold twice in memory) goes to libsndfile. An encoding that no
// reader decodes is refused with "<name>: <encoding> is not supported". Other names give an
// empty Sound.
Sound load_sound(const char* path, int mode);

// One channel at `sample_rate`: the file read with `mode`, resampled when its rate differs.
// Mode 3 yields a stereo pair, which is mixed here into its mean, since what reads the
// result (analysis, the original sound) holds one channel. Empty on failure.
std::vector<float> load_sound_resampled(const char* path, int mode, int sample_rate);

// Internal helpers shared by the readers.
// Channels in the result of selection `mode` from `channels` channels.
int selected_channel_count(int channels, int mode);
// Selection of `frames` interleaved frames of `channels` channels into `out`, which holds
// frames × selected_channel_count(channels, mode) floats.
void select_channels_into(const float* in, size_t frames, int channels, int mode, float* out);
// Checks channels and rate; logs "In <fn>(): ..." and returns false when out of range.
bool sound_format_ok(const char* fn, long long channels, long long rate);
