#include "commands/history.h"

#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "commands/app.h"
#include "commands/archive_read.h"
#include "commands/archive_write.h"
#include "commands/import.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/save_file.h"

std::string history_file(const HistoryRecorder& h)
{
    return h.path.empty() ? path_join(data_folder(), "history.sga") : h.path;
}

bool is_history_file(const HistoryRecorder& h, const std::string& path)
{
    std::string history = history_file(h);
    char a[PATH_MAX], b[PATH_MAX];
    if (realpath(path.c_str(), a) && realpath(history.c_str(), b))
        return strcmp(a, b) == 0;
    return path == history;
}

void history_close(HistoryRecorder& h)
{
    std::lock_guard<std::mutex> lock(h.lock);
    if (h.stream)
        fclose(h.stream);
    h.stream = nullptr;
    h.line_open = false;
}

static long long tick(const HistoryRecorder& h)
{
    if (h.tick_ms)
        return h.tick_ms();
    using namespace std::chrono;
    // Offset by one so that the first tick is never the "no stamp yet" value.
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() + 1;
}

static void write_date_line(HistoryRecorder& h)
{
    time_t now = h.wall_clock ? h.wall_clock() : time(nullptr);
    struct tm local;
    char text[64] = "";
    if (localtime_r(&now, &local))
        strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    fprintf(h.stream, "Time %s\n", text);
}

// Writes the time stamp that belongs to a record of `kind`; returns whether anything was written.
static bool write_stamp(HistoryRecorder& h, int kind)
{
    long long now = tick(h);
    long long delta = now - h.last_stamp;
    bool written = false;
    if (h.last_stamp != 0 && delta <= 300000 && kind != record_dated) {
        if (kind == record_stroke_point) {
            fprintf(h.stream, "T+%.3fs\n", delta / 1000.0);
            written = true;
        } else if (delta >= 2) {
            fprintf(h.stream, delta < 100 ? "Time +%.3f s\n" : "Time +%.2f s\n", delta / 1000.0);
            written = true;
        }
    } else if (delta >= 2) {
        write_date_line(h);
        written = true;
    }
    h.last_stamp = now;
    return written;
}

static void write_record(HistoryRecorder& h, int kind, const std::string& text)
{
    // A stroke point line waits for its stamp; anything else first ends it.
    if (h.line_open) {
        fputc('\n', h.stream);
        h.line_open = false;
    }
    switch (kind) {
    case record_action:
        write_stamp(h, kind);
        fwrite(text.data(), 1, text.size(), h.stream);
        fputc('\n', h.stream);
        break;
    case record_stroke_point:
        fwrite(text.data(), 1, text.size(), h.stream);
        // A date stamp ends the point line as well; only "no stamp at all" leaves it open.
        h.line_open = !write_stamp(h, kind);
        break;
    case record_dated:
        write_stamp(h, kind);
        fwrite(text.data(), 1, text.size(), h.stream);
        fputc('\n', h.stream);
        break;
    default:
        fwrite(text.data(), 1, text.size(), h.stream);
        fputc('\n', h.stream);
        break;
    }
    h.last_kind = kind;
}

// Writes one record; false when the history cannot be opened.
static bool write_history(HistoryRecorder& h, int kind, const std::string& text)
{
    std::lock_guard<std::mutex> lock(h.lock);
    if (!h.stream) {
        h.stream = fopen(history_file(h).c_str(), "wb");
        h.last_kind = record_action;
        h.line_open = false;
        if (!h.stream)
            return false;
    }
    if (h.header_pending) {
        h.header_pending = false;
        char header[64];
        snprintf(header, sizeof header, "Sonographica Archive v1.%g", 2.2);
        write_record(h, record_plain, header);
        write_record(h, record_dated, "");
    }
    write_record(h, kind, text);
    fflush(h.stream);
    return true;
}

static void execute_text(App& app, const std::string& text, int* changed)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    for (size_t i = 0; i < lines.size(); i++)
        execute_archive_line(app, lines[i], i + 1 < lines.size() ? lines[i + 1].c_str() : nullptr, changed);
}

int record_text(App& app, int kind, int execute, int* changed, const std::string& formatted)
{
    // The writer adds the line feed itself; a format that ends in one gets no empty line.
    std::string text = formatted;
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    // A line that starts a load is preceded by the load it finishes (the interpreter finishes
    // one still running first): an interface load records its lines only when it completes.
    if (!app.load.records.empty() && (text.rfind("Open ", 0) == 0 || text.rfind("Import ", 0) == 0))
        finish_load(app);
    HistoryRecorder& h = app.history;
    if (!app.project.recording_suspended && h.enabled && kind >= 0) {
        if (!write_history(h, kind, text))
            return 0;
    }
    if (execute == 1)
        execute_text(app, text, changed);
    return 1;
}

int record_line(App& app, int kind, int execute, int* changed, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (n > 0) {
        text.resize((size_t)n + 1);
        vsnprintf(text.data(), text.size(), format, args);
        text.resize((size_t)n);
    }
    va_end(args);
    return record_text(app, kind, execute, changed, text);
}

// Reads one line without its line feed. Returns 0 at the end of the file, 1 for a line,
// 2 for a line too long to keep (its end is consumed all the same). A carriage return
// before the line feed does not count towards the length.
static int read_bounded_line(FILE* in, std::string& line, size_t max_length)
{
    line.clear();
    size_t length = 0;
    int c, last = 0;
    bool any = false;
    while ((c = getc_unlocked(in)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        if (length <= max_length)
            line.push_back((char)c);
        length++;
        last = c;
    }
    if (!any)
        return 0;
    size_t effective = length - (last == '\r' ? 1 : 0);
    return effective > max_length ? 2 : 1;
}

static bool holds_word(const std::string& line)
{
    for (char c : line)
        if (!isspace((unsigned char)c))
            return true;
    return false;
}

static bool first_word_is(const std::string& line, const char* word)
{
    size_t i = 0;
    while (i < line.size() && isspace((unsigned char)line[i]))
        i++;
    size_t n = strlen(word);
    return line.compare(i, n, word) == 0 && (i + n == line.size() || isspace((unsigned char)line[i + n]));
}

// Copies archive text line by line as the history keeps it. Returns true when the file
// was empty or its last copied line was not empty.
static bool copy_archive_lines(FILE* in, FILE* out, const std::string& name)
{
    std::string line;
    bool any = false, last_empty = false;
    int status;
    while ((status = read_bounded_line(in, line, 2049)) != 0) {
        any = true;
        if (status == 2) {
            log_printf(stderr, "Warning: line in file %s exceeds allowed length\n", name.c_str());
            continue;
        }
        if (!holds_word(line)) {
            fputc('\n', out);
            last_empty = true;
            continue;
        }
        fwrite(line.data(), 1, line.size(), out);
        fputc('\n', out);
        last_empty = false;
        if (first_word_is(line, "Base85")) {
            // The data line is far longer than any command line: copy it whole.
            int c;
            bool copied = false;
            while ((c = getc_unlocked(in)) != EOF) {
                copied = true;
                fputc(c, out);
                if (c == '\n')
                    break;
            }
            if (copied && c == EOF)
                fputc('\n', out);
        }
    }
    return !any || !last_empty;
}

void append_archive_to_history(HistoryRecorder& h, const std::string& path)
{
    if (!h.enabled)
        return;
    FILE* in = fopen(path.c_str(), "rb");
    if (!in)
        return;
    std::lock_guard<std::mutex> lock(h.lock);
    if (!h.stream) {
        h.stream = fopen(history_file(h).c_str(), "wb");
        h.last_kind = record_action;
    }
    if (!h.stream) {
        fclose(in);
        return;
    }
    if (h.line_open) {
        fputc('\n', h.stream);
        h.line_open = false;
    }
    fputc('\n', h.stream);
    if (copy_archive_lines(in, h.stream, path))
        fputc('\n', h.stream);
    fclose(in);
    fflush(h.stream);
    h.header_pending = true;
}

void tidy_history(HistoryRecorder& h)
{
    if (!h.enabled)
        return;
    std::string history = history_file(h);
    FILE* in = fopen(history.c_str(), "rb");
    if (!in)
        return;
    std::lock_guard<std::mutex> lock(h.lock);
    if (h.stream)
        fclose(h.stream);
    h.stream = nullptr;
    h.line_open = false;
    // Rewritten through a temporary: a failure keeps the history as it was.
    SaveFile save;
    if (FILE* out = save_begin(save, history, "Error: tidy_history()")) {
        if (copy_archive_lines(in, out, "history.sga"))
            fputc('\n', out);
        save_end(save, "Error: tidy_history()");
    }
    fclose(in);
    h.stream = fopen(history.c_str(), "ab");
}

bool save_archive(App& app, const std::string& path, bool status_format)
{
    if (status_format)
        return write_status_file(app, path);

    HistoryRecorder& h = app.history;
    std::lock_guard<std::mutex> lock(h.lock);
    SaveFile save;
    if (!save_begin(save, path, "Error: save_archive()"))
        return false;
    // A history not opened in this run holds an earlier session: this session has
    // recorded nothing yet, so the copy is empty and the old history stays untouched.
    if (!h.stream || !h.enabled)
        return save_end(save, "Error: save_archive()");
    if (h.line_open) {
        fputc('\n', h.stream);
        h.line_open = false;
    }
    fclose(h.stream);
    h.stream = nullptr;
    std::string history = history_file(h);
    if (FILE* in = fopen(history.c_str(), "rb")) {
        char chunk[4096];
        size_t n;
        while ((n = fread(chunk, 1, sizeof chunk, in)) > 0)
            if (!save_write(save, chunk, n))
                break;
        fclose(in);
    }
    const bool ok = save_end(save, "Error: save_archive()");
    h.stream = fopen(history.c_str(), "ab");
    return ok;
}

void history_restart_for_open(HistoryRecorder& h)
{
    std::lock_guard<std::mutex> lock(h.lock);
    if (h.stream) {
        fclose(h.stream);
        h.stream = nullptr;
        h.line_open = false;
        h.header_pending = true;
    }
}

void history_restart_for_import_dialog(HistoryRecorder& h)
{
    std::lock_guard<std::mutex> lock(h.lock);
    if (h.stream) {
        fclose(h.stream);
        h.stream = nullptr;
        h.line_open = false;
    }
    h.header_pending = true;
}

void history_restart_for_new_project(HistoryRecorder& h)
{
    std::lock_guard<std::mutex> lock(h.lock);
    h.header_pending = true;
}
