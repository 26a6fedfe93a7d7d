// The one open project: a stack of float pictures of one size, the parameters that tie
// rows to Hz and columns to seconds, the synthesis settings, and the original sound with
// the picture its analysis produced.
#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "engine/image.h"

struct Layer {
    Image image = nullptr;              // null for a separator, which opens a group
    Image original_image = nullptr;     // the layer as opened or imported: the erase tools' source
    int original_width = 0, original_height = 0;
    float gamma = 1.0f;                 // exponent last applied to the pixels
    int blending = 0;                   // 0..13, see blend.h
    int centre_x = 0, centre_y = 0;     // convolution centre
    int centre_set = 0;                 // 1 once a "Central convolution point" was given
    int off = 0;
    std::string name;
    // Derived by the stack code on every composite; never stored.
    int group = 0;
    int effectively_off = 0;
};

// Picture-size-changed marks of `content_changed`.
enum : int {
    content_pixels = 1,
    content_dimensions = 3,
};

// Channel selection of analysis: what becomes the mono sound.
enum : int {
    channels_mix = 0,
    channels_left = 1,
    channels_right = 2,
};

struct Project {
    // Geometry and pictures.
    int width = 0, height = 0;
    Image composite = nullptr;
    int composite_width = 0, composite_height = 0;
    Image undo_image = nullptr;
    Image group_buffer = nullptr;
    Image synthesis_copy = nullptr;           // the composite transposed: width rows of height samples
    std::atomic<bool> synthesis_copy_updated{false};
    std::vector<unsigned int> colour_image;   // width × height packed RGBA, for a project opened from a picture
    std::vector<Layer> layers;                // index 0 is the bottom of the stack
    int current_layer = -1;
    int layer_name_counter = 1;
    std::atomic<bool> recomposite_needed{false};  // set from any thread that changes pixels
    std::atomic<int> content_changed{0};      // read by the spray drainer while the main loop consumes it

    // Locks, always taken in this order where several are held together.
    std::mutex layer_table_lock;
    std::mutex undo_lock;
    std::mutex synthesis_copy_lock;           // before image_lock when both are held
    std::mutex image_lock;                    // the composite: compositing and pixel changes of layers

    // Frequency and time.
    float fmin = 27.5f, fmax = 20000.0f;
    float scale_base = 2.0f;
    float time_resolution = 100.0f;           // columns per second
    int block_width = 100;
    int block_length = 0;
    int block_count = 0;

    // Analysis parameters for the next sound that is opened or imported.
    float analysis_fmin = 27.5f, analysis_fmax = 20000.0f;
    float analysis_scale_base = 2.0f;
    float analysis_time_resolution = 100.0f;
    float transition_time_resolution = 100.0f;
    float pitch_resolution = 60.0f;           // rows per octave
    float min_pitch_resolution = 24.0f;       // 0 chooses constant time resolution
    int channel_selection = channels_mix;

    // Synthesis and playback.
    bool lossless = false;
    std::atomic<bool> live_synthesis{false};   // read by the compositing thread
    bool long_blocks = false;
    bool loop_playback = false;
    int sample_rate = 44100;                  // the rate of all sound inside the program
    int archive_sample_rate = 0;              // from the last "Samplerate" line

    // Original sound and its analysed picture.
    std::vector<float> original_sound;        // zero-padded to (block_count + 1) × block_length / 2
    int original_sound_length = 0;
    Image original_image = nullptr;
    int original_image_width = 0, original_image_height = 0;

    std::string title;
    std::string archive_folder;               // where relative names of the archive being loaded are looked up
    bool recording_suspended = false;

    Project() = default;
    Project(const Project&) = delete;
    Project& operator=(const Project&) = delete;
    ~Project();
};

// Gamma 1, addition, centre at the picture's middle, centre not set, on: for the current layer.
void apply_layer_defaults(Project& p);
// "Clear image": frees all pictures and layers, size 0 × 0, base 2. Frequency range, time
// resolution, synthesis settings and the original sound stay. Takes the three project locks.
void reset_project(Project& p);
// The same, for a caller that already holds the three project locks.
void reset_project_locked(Project& p);
// Frees the work pictures; with `layers`, every layer too (count 0, current layer 0).
void free_pictures(Project& p, bool layers);
// Grows every layer to at least W × H, or with `exact` ("Crop") to exactly W × H, keeping the
// top-left block. Returns false, changing nothing, when the size is refused (too large, or
// empty while the project has image layers). The caller holds the three project locks.
bool resize_project(Project& p, int new_width, int new_height, bool exact);
// Copies the current layer into the undo picture.
void save_undo(Project& p);
// Recomputes the block width from the time resolution, height and long-block flag.
void update_block_width(Project& p);
// Longest original sound: what the synthesis output can hold (400 chunks of 2,621,440 samples).
constexpr long long sound_max_samples = 400ll * 2621440ll;
// Installs `samples` as the original sound of `length` real samples (a shorter vector is
// extended with zeros): block length and count from the block width, zero padding to
// (block_count + 1) × block_length / 2. Returns false, changing nothing, for a negative or
// absurd length or a time resolution that gives no block length.
bool set_original_sound(Project& p, std::vector<float> samples, int length);
// Zero-pads the original sound to (block_count + 1) × block_length / 2 after the block
// length or count changed.
void pad_original_sound(Project& p);
