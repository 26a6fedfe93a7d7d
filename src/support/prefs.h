// The preferences file "config.txt": a small tree of tab-indented lines read and written
// through typed accessors. A getter that misses its key writes the default back, so a fresh
// file fills itself with every key the program reads. Saving runs on a background thread,
// one save at a time, on a copy of the lines.
//
// File shape: the first line is "Sonographica 1.11"; a key path such as
// "Audio output:Volume limiter:Threshold" is split at ':' and component i is written after
// i tabs; a value line is "<component>: <value>", numbers printed with "%g" and their unit.
#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#define SONOGRAPHICA_PREF_TITLE "Sonographica 1.11"
#define SONOGRAPHICA_PREF_FILE "config.txt"

struct PrefStore {
    std::string path;
    std::vector<std::string> lines;
    std::mutex lock;                  // guards path, lines and saver
    std::thread saver;                // the save in flight, joined before the next one
    std::atomic<int> saves_done{0};   // completed writes of the whole file

    PrefStore() = default;
    PrefStore(const PrefStore&) = delete;
    PrefStore& operator=(const PrefStore&) = delete;
    ~PrefStore();                     // waits for the save in flight
};

// The one store of the run, for code that has no other way to reach it (the audio thread's
// limiter, dialogs). Its save thread is joined when the program exits.
PrefStore& pref_main_store();

// Sets the path and loads the lines; an absent or unreadable file gives no lines.
void pref_open(PrefStore& store, const std::string& path);
// Index of the key's line, creating the missing lines of its path; -1 (with a log line)
// when the store has no path or no lines, or the key is malformed.
int pref_find_loc(PrefStore& store, const char* key);

// Each getter returns the stored value; a missing or unreadable value is replaced by the
// default (written with the unit), the file is saved and the default is returned.
double pref_get_number(PrefStore& store, const char* key, double def, const char* unit);
void pref_set_number(PrefStore& store, const char* key, double value, const char* unit);
void pref_get_two_numbers(PrefStore& store, const char* key, double def1, const char* separator,
                          double def2, const char* unit, double* value1, double* value2);
void pref_set_two_numbers(PrefStore& store, const char* key, double value1, const char* separator,
                          double value2, const char* unit);
// 1 for "on", 0 for "off", -1 for any other stored text.
int pref_get_onoff(PrefStore& store, const char* key, int def);
void pref_set_onoff(PrefStore& store, const char* key, int value);
std::string pref_get_text(PrefStore& store, const char* key, const char* def);
void pref_set_text(PrefStore& store, const char* key, const char* value);

// Hands a copy of the lines to the save thread (after the previous save has finished).
void pref_write(PrefStore& store);
// Waits until the save in flight, if any, has been written.
void pref_wait(PrefStore& store);

// Every key the program uses, with its kind and the default stored when it is missing.
// The table is in file order: keys grouped under their sections, and within a section the
// order in which a fresh file receives them.
enum PrefKind { pref_number, pref_two_numbers, pref_onoff, pref_text };
struct PrefKeyInfo {
    const char* key;
    PrefKind kind;
    double def1;            // number, first of two numbers, or on/off (1 or 0)
    const char* separator;  // two numbers
    double def2;            // second of two numbers
    const char* unit;       // numbers: text written after the value
    const char* text;       // text default; null where the caller supplies it (audio driver, device)
    bool at_startup;        // read by pref_load_startup
};
extern const PrefKeyInfo pref_keys[];
extern const int pref_key_count;
// The table entry of a key, or null.
const PrefKeyInfo* pref_key_info(const char* key);

// What the start-up step reads, as the program uses it.
struct PrefStartupValues {
    int sample_rate = 44100;               // Hz, 8,000 to 384,000
    int buffer_length = 1024;              // frames, 200 to 32,768
    int live_synthesis = 1;
    double cursor_rate = 20;               // times per second
    int waveform_height = 55;              // px
    int linear_knob_control = 1;
    double tool_width = 20;                // screen px
    double tool_intensity = 0.25;          // fraction (stored in percent)
    int spray_harmonics = 100;
    double analysis_fmin = 27.5, analysis_fmax = 20000;
    double pitch_resolution = 60;          // px/octave
    double min_pitch_resolution = 24;      // px/octave; 0 chooses constant time resolution
    double time_resolution = 100;          // px/s
    double transition_time_resolution = 100;
    double embedded_file_size_limit = 0;   // MB
    int history_menu = 0;
    std::string time_unit = "sec";         // unit names; convert with unit_index
    std::string frequency_position_unit = "Hz";
    std::string frequency_dimensions_unit = "st";
    int relative_selection_index = 0;
};

// The start-up step: deletes a "config.txt" of the earlier format in `folder`, opens the
// store on "config.txt" there, makes "Sonographica 1.11" its first line and reads every
// start-up key, storing defaults for the missing ones. Values that the program cannot run
// with (a sample rate of 0, a negative resolution) are replaced in `values` with one log line
// each; the file keeps what the user wrote. Returns false when the file could not be opened
// or created (the defaults are then in `values`).
bool pref_load_startup(PrefStore& store, const std::string& folder, PrefStartupValues* values);
