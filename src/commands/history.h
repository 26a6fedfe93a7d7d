// The history: every action of a session recorded as archive lines with time stamps, in
// "history.sga" of the data folder, flushed after every record so that a killed program
// loses no recorded line. Also the two ways a project is saved (status or history copy) and
// the copying of a loaded archive into the history so that the history can replay it.
#pragma once
#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>

struct App;

// Record kinds: how record_line writes its text.
enum : int {
    record_execute_only = -1,  // nothing is written
    record_action = 0,         // relative time stamp, then the line
    record_stroke_point = 1,   // the line, then "T+%.3fs" with the time since the last stamp
    record_plain = 2,          // the line alone
    record_dated = 3,          // an absolute date line, then the line
};

struct HistoryRecorder {
    std::string path;                  // empty: "history.sga" in the data folder
    FILE* stream = nullptr;            // closed until the first record of the run
    bool enabled = true;               // false: this run leaves the history file alone
    bool header_pending = false;       // the next record starts with the header and a date
    int last_kind = record_action;
    bool line_open = false;            // a stroke point line still lacks its line feed
    long long last_stamp = 0;          // tick of the last time stamp; 0 when none yet
    long long (*tick_ms)() = nullptr;  // millisecond tick counter; null: the steady clock
    time_t (*wall_clock)() = nullptr;  // for date lines; null: the system time
    std::mutex lock;
};

// The history file of this recorder.
std::string history_file(const HistoryRecorder& h);
// True when `path` names the history file itself.
bool is_history_file(const HistoryRecorder& h, const std::string& path);
void history_close(HistoryRecorder& h);

// Formats the text (printf conventions) and, unless recording is suspended, disabled or the
// kind is record_execute_only, writes it to the history as the kind says and flushes. Then,
// when `execute` is 1, executes each line of the text with execute_archive_line. A history
// that cannot be opened drops the record and executes nothing. Returns 0 in that case.
int record_line(App& app, int kind, int execute, int* changed, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
// The same for a text that is used as it stands.
int record_text(App& app, int kind, int execute, int* changed, const std::string& text);

// Status format: write_status_file. History format: a byte-for-byte copy of this session's
// history; recording continues into the same history afterwards. Returns true on success.
bool save_archive(App& app, const std::string& path, bool status_format);

// Appends the text of a loaded archive to the history (over-long lines left out, Base85
// data lines copied whole) and makes the next record start with a header and a date.
void append_archive_to_history(HistoryRecorder& h, const std::string& path);
// After the history itself was replayed: rewrites it the same way and reopens it for
// appending, so recording continues after the replayed lines.
void tidy_history(HistoryRecorder& h);

// When the history starts afresh.
// Opening a file as a new project: an open history is closed and the next record starts a
// new one with a header; a history not yet opened this run starts without one.
void history_restart_for_open(HistoryRecorder& h);
// Opening through the import dialog: the next record always starts a new history with a header.
void history_restart_for_import_dialog(HistoryRecorder& h);
// The new-project dialog: its lines follow a header and a date in the current history
// (the dialog records its title line as a dated record).
void history_restart_for_new_project(HistoryRecorder& h);
