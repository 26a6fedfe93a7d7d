#include "cli/run_lines.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "commands/app.h"
#include "cli/play.h"
#include "engine/playback.h"
#include "layers/blend.h"
#include "commands/archive_read.h"
#include "commands/history.h"
#include "project/project_prefs.h"
#include "project/units.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/prefs.h"
#include "support/save_file.h"

int cli_run_option(int argc, char** argv, int i, CliRun& run)
{
    const char* a = argv[i];
    if (!strcmp(a, "-e")) {
        if (i + 1 >= argc)
            return -1;
        run.e_count++;
        run.items.push_back({false, argv[i + 1], "-e #" + std::to_string(run.e_count)});
        return 2;
    }
    if (!strcmp(a, "--keep-going")) {
        run.keep_going = true;
        return 1;
    }
    if (!strcmp(a, "--synthesis")) {
        const char* v = i + 1 < argc ? argv[i + 1] : "";
        if (!strcmp(v, "noise"))
            run.synthesis = synthesis_noise;
        else if (!strcmp(v, "live"))
            run.synthesis = synthesis_live;
        else if (!strcmp(v, "lossless"))
            run.synthesis = synthesis_lossless;
        else {
            fprintf(stderr, "sonographica-cli: option '--synthesis' takes 'noise', 'live' or 'lossless'\n");
            return -1;
        }
        return 2;
    }
    if (!strcmp(a, "--record")) {
        run.record = true;
        return 1;
    }
    if (!strcmp(a, "--info")) {
        run.info = true;
        return 1;
    }
    if (!strcmp(a, "--play")) {
        if (i + 1 >= argc || run.play)
            return -1;
        // Opened through the interpreter, so that sounds, pictures and archives open exactly
        // as they do in the editor. The line cannot quote a name holding a double quote.
        std::string name = argv[i + 1];
        if (name.find('"') != std::string::npos) {
            fprintf(stderr, "sonographica-cli: cannot open a file whose name holds '\"'\n");
            return -1;
        }
        run.items.push_back({false, "Open \"" + name + "\"", "--play"});
        run.play = true;
        return 2;
    }
    if (!strcmp(a, "--live-synthesis")) {
        const char* v = i + 1 < argc ? argv[i + 1] : "";
        if (strcmp(v, "on") && strcmp(v, "off")) {
            fprintf(stderr, "sonographica-cli: option '--live-synthesis' takes 'on' or 'off'\n");
            return -1;
        }
        run.live_synthesis = !strcmp(v, "on");
        return 2;
    }
    if (a[0] != '-') {
        run.items.push_back({true, a, a});
        return 1;
    }
    return 0;
}

bool cli_run_requested(const CliRun& run) { return !run.items.empty() || run.info || run.play; }

// What the main loop would do with the requests the lines raised.
static void carry_out_requests(App& app)
{
    if (app.requests.live_synthesis_on) {
        app.project.live_synthesis = true;
        app.requests.live_synthesis_on = 0;
    }
}

// Whether the lines run so far went well: each line's outcome is read from the
// interpreter's counts, which include the load a line started and the archive it opened.
struct LineWatch {
    App& app;
    bool keep_going;
    int failed_seen = 0, unknown_seen = 0;
    bool failed = false;   // some line could not be carried out
    bool stopped = false;  // ... and the run stops there
};

// After a line: names it on standard error when it failed. Returns whether to go on.
static bool line_went_well(LineWatch& w, const std::string& where, std::string_view line)
{
    const ArchiveState& st = w.app.archive;
    const bool failed = st.failed_lines != w.failed_seen, unknown = st.unknown_lines != w.unknown_seen;
    w.failed_seen = st.failed_lines;
    w.unknown_seen = st.unknown_lines;
    if (!failed && !unknown)
        return true;
    log_printf(stderr, "sonographica-cli: %s: %s: %.*s\n", where.c_str(),
               failed ? "the line could not be carried out" : "no command matches the line", (int)line.size(),
               line.data());
    w.failed = true;
    w.stopped = !w.keep_going;
    return !w.stopped;
}

static bool file_line_finished(void* user, const std::string& path, int number, std::string_view line)
{
    return line_went_well(*(LineWatch*)user, path + ":" + std::to_string(number), line);
}

static void run_text(App& app, const CliRun::Item& item, LineWatch& watch)
{
    const std::string& text = item.text;
    std::vector<std::string> lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    for (size_t i = 0; i < lines.size() && !app.requests.quit && !watch.stopped; i++) {
        std::string& line = lines[i];
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (app.history.enabled) {
            // A typed line: recorded as it stands, then executed.
            record_text(app, record_plain, 0, nullptr, line);
        }
        execute_archive_line(app, line, i + 1 < lines.size() ? lines[i + 1].c_str() : nullptr);
        complete_load(app);
        carry_out_requests(app);
        line_went_well(watch, lines.size() > 1 ? item.where + ":" + std::to_string(i + 1) : item.where, line);
    }
}

// JSON text: quotes, backslashes and control characters escaped; bytes that are not UTF-8
// (names may come from older archives in a single-byte encoding) become \u00XX.
static void print_json_string(const std::string& s)
{
    putchar('"');
    const unsigned char* b = (const unsigned char*)s.data();
    size_t n = s.size();
    for (size_t i = 0; i < n;) {
        unsigned c = b[i];
        if (c == '"' || c == '\\') {
            printf("\\%c", c);
            i++;
        } else if (c < 0x20 || c == 0x7F) {
            printf("\\u%04x", c);
            i++;
        } else if (c < 0x80) {
            putchar((int)c);
            i++;
        } else {
            size_t len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
            bool valid = len > 0 && i + len <= n;
            for (size_t k = 1; valid && k < len; k++)
                valid = (b[i + k] & 0xC0) == 0x80;
            if (valid) {
                fwrite(b + i, 1, len, stdout);
                i += len;
            } else {
                printf("\\u%04x", c);
                i++;
            }
        }
    }
    putchar('"');
}

static void print_json_number(double v, int digits)
{
    if (std::isfinite(v))
        printf("%.*g", digits, v);
    else
        printf("null");
}

static void print_info(App& app)
{
    Project& p = app.project;
    printf("{\"width\": %d, \"height\": %d, \"fmin\": ", p.width, p.height);
    print_json_number(p.fmin, 9);
    printf(", \"fmax\": ");
    print_json_number(p.fmax, 9);
    printf(", \"scale_base\": ");
    print_json_number(p.scale_base, 9);
    printf(", \"time_resolution\": ");
    print_json_number(p.time_resolution, 9);
    printf(", \"synthesis\": \"%s\", \"title\": ", p.lossless ? "lossless" : p.live_synthesis ? "live" : "noise");
    print_json_string(p.title);
    printf(", \"current_layer\": %d, \"original_sound_length\": %d, \"original_image\": [%d, %d], \"layers\": [",
           p.current_layer, p.original_sound_length, p.original_image_width, p.original_image_height);
    for (size_t i = 0; i < p.layers.size(); i++) {
        const Layer& l = p.layers[i];
        double sum = 0.0, sum_squares = 0.0;
        if (l.image) {
            for (int y = 0; y < p.height; y++)
                for (int x = 0; x < p.width; x++) {
                    double v = l.image[y][x];
                    sum += v;
                    sum_squares += v * v;
                }
        }
        printf("%s{\"name\": ", i ? ", " : "");
        print_json_string(l.name);
        const char* blending = l.blending >= 0 && l.blending < blend_mode_count ? blending_keywords[l.blending] : "";
        printf(", \"blending\": \"%s\", \"gamma\": ", blending);
        print_json_number(l.gamma, 9);
        printf(", \"off\": %s, \"centre\": [%d, %d], \"centre_set\": %s, \"has_image\": %s, \"sum\": ",
               l.off ? "true" : "false", l.centre_x, l.centre_y, l.centre_set ? "true" : "false",
               l.image ? "true" : "false");
        print_json_number(sum, 17);
        printf(", \"sum_squares\": ");
        print_json_number(sum_squares, 17);
        printf("}");
    }
    printf("]}\n");
}

int cli_run(const CliRun& run)
{
    // What saves killed in an earlier run left in the data folder.
    remove_stale_temporaries(data_folder());
    App app;
    PrefStartupValues values;
    load_project_preferences(app.project, pref_main_store(), data_folder(), &values);
    app.prefs = &pref_main_store();
    history_units_from_preferences(values, &app.units.time, &app.units.frequency_position,
                                   &app.units.frequency_dimensions);
    app.units.relative_selection = values.relative_selection_index == 1;
    // The "Live Synthesis" menu toggle. Without a window nothing is heard while editing, so
    // the command line starts with it off and leaves the stored setting alone.
    if (run.live_synthesis >= 0)
        app.project.live_synthesis = run.live_synthesis == 1;
    app.history.enabled = run.record;
    // Long work reports its progress on standard error, the way a terminal user expects.
    app.load.print_progress = true;

    // The mode of sound saves stays as chosen whatever the lines switch.
    app.sound_save_mode = run.synthesis;

    int status = 0;
    LineWatch watch{app, run.keep_going};
    for (const CliRun::Item& item : run.items) {
        if (app.requests.quit || watch.stopped)
            break;
        if (item.is_file) {
            app.archive.line_finished = file_line_finished;
            app.archive.line_user = &watch;
            const bool read = load_archive(app, item.text);
            app.archive.line_finished = nullptr;
            app.archive.line_user = nullptr;
            if (!read) {
                log_printf(stderr, "sonographica-cli: %s: the archive could not be read\n", item.where.c_str());
                watch.failed = true;
                watch.stopped = !run.keep_going;
            }
            carry_out_requests(app);
        } else {
            run_text(app, item, watch);
        }
    }
    if (watch.failed)
        status = 1;
    if (watch.stopped) {
        history_close(app.history);
        return status;
    }
    if (run.play && !app.requests.quit) {
        if (run.synthesis >= 0) {
            app.project.lossless = run.synthesis == synthesis_lossless;
            app.project.live_synthesis = run.synthesis == synthesis_live;
        }
        const int played = play_project(app, values.buffer_length);
        if (played != 0)
            status = played;
    }
    // A file that could not be opened or imported fails the run, as any other unreadable input.
    if (app.load.failures > 0)
        status = 1;
    if (run.info)
        print_info(app);
    history_close(app.history);
    return status;
}
