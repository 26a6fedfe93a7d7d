// The archive interpreter: one line of the command language at a time, against the App.
// Archive files, the replayed history, menu commands and the console all come through here.
#pragma once
#include <string>
#include <string_view>

struct App;

// A line this long or longer is ignored entirely.
constexpr int archive_line_limit = 2050;

// What the next "Base85" line fills.
enum : int {
    pending_none = 0,
    pending_layer_image,
    pending_separator,
    pending_original_sound,
    pending_original_image,
    pending_original_layer_image,
    pending_spray_stroke,
    pending_rectangle,
};

// Interpreter state kept between lines.
struct ArchiveState {
    float version = 2.2f;          // minor version of the last header line
    int pending = pending_none;
    // Replayed spray strokes.
    int spray_kind = 1;            // 0 dark, 1 white, 2 brighten, 3 smart erase
    int erase = 0;
    float point_width = 2.0f, point_height = 2.0f;
    float intensity = 0.25f;       // shared by spray points and rectangles
    int harmonics = 0;
    int point_unit_x = 1, point_unit_y = 1;  // unit indexes, "px"
    int new_stroke = 1;
    // Replayed rectangles.
    int rect_start_x = 0, rect_start_y = 0, rect_end_x = 0, rect_end_y = 0;
    bool rect_start_set = false, rect_end_set = false, intensity_set = false;
    // Placement of the next "Import".
    int import_horizontal = 2, import_vertical = 1;  // extend, fit
    // Pictures and sounds an archive may ask for are refused above these sizes, well before
    // the guarded allocator would give up (the fuzzer lowers them).
    long long max_picture_pixels = 1ll << 28;
    long long max_sound_samples = 400ll * 2621440ll;
    int load_depth = 0;            // archives loading archives

    // How lines went, for callers that must tell (the command line); the editor and history
    // replay go on whatever happens. Counts, so that a line is charged with what it started:
    // the load completed after it, the lines of an archive it opened.
    int failed_lines = 0;          // lines that could not be carried out (each logged why)
    int unknown_lines = 0;         // lines whose first word is no command (nothing logged)
    bool data_line_next = false;   // the next line is the data of a "Base85" line
    // Called after each line of an outermost archive file, once its load has completed, with
    // the file and the line's number from 1; returning false stops reading that file.
    bool (*line_finished)(void* user, const std::string& path, int number, std::string_view line) = nullptr;
    void* line_user = nullptr;
};

// Executes one line (an empty line, a "//" comment and a header are never failures).
// `next_line` is the line that follows in the same text (the data of a
// "Base85" line), null when there is none. `changed`, when given, is set to 1.
void execute_archive_line(App& app, std::string_view line, const char* next_line, int* changed = nullptr);

// Executes a whole archive file with recording suspended, then appends it to the history
// (or tidies the history when the file is the history itself). False when the file
// cannot be read.
bool load_archive(App& app, const std::string& path);
