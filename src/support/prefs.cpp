#include "support/prefs.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <unistd.h>

#include "support/log.h"
#include "support/paths.h"
#include "support/save_file.h"

// Larger than any preferences file the program writes by orders of magnitude; anything
// bigger is not ours and is not loaded.
static const long pref_file_limit = 4L << 20;

const PrefKeyInfo pref_keys[] = {
    {"Audio output:Sample rate", pref_number, 44100, nullptr, 0, " Hz", nullptr, true},
    {"Audio output:Buffer length", pref_number, 1024, nullptr, 0, " samples", nullptr, true},
    // Read before "Live synthesis cursor rate" so that a fresh file lists the shorter key first.
    {"Audio output:Live synthesis", pref_onoff, 1, nullptr, 0, nullptr, nullptr, true},
    {"Audio output:Live synthesis cursor rate", pref_number, 20, nullptr, 0, " times/second", nullptr, true},
    {"Audio output:Preferred driver", pref_text, 0, nullptr, 0, nullptr, nullptr, false},
    {"Audio output:Preferred device", pref_text, 0, nullptr, 0, nullptr, nullptr, false},
    {"Audio output:Volume limiter", pref_onoff, 1, nullptr, 0, nullptr, nullptr, false},
    {"Audio output:Volume limiter:Threshold", pref_number, -6, nullptr, 0, " dB", nullptr, false},
    {"Audio output:Volume limiter:Sustain duration", pref_number, 2.3, nullptr, 0, " sec", nullptr, false},
    {"Audio output:Volume limiter:Release duration", pref_number, 2.3, nullptr, 0, " sec", nullptr, false},
    {"Interface:Waveform height", pref_number, 55, nullptr, 0, " px", nullptr, true},
    {"Interface:Linear knob control", pref_onoff, 1, nullptr, 0, nullptr, nullptr, true},
    {"Interface:Window dimensions", pref_two_numbers, 0, "x", 0, "", nullptr, false},
    {"Interface:Window is maximised", pref_onoff, 0, nullptr, 0, nullptr, nullptr, false},
    {"Tool:Width", pref_number, 20, nullptr, 0, " px", nullptr, true},
    {"Tool:Intensity", pref_number, 25, nullptr, 0, "%", nullptr, true},
    {"Tool:Spray harmonics", pref_number, 100, nullptr, 0, " harmonics", nullptr, true},
    {"Analysis:Frequency range", pref_two_numbers, 27.5, " - ", 20000, " Hz", nullptr, true},
    {"Analysis:Pitch resolution", pref_number, 60, nullptr, 0, " pixels/octave", nullptr, true},
    {"Analysis:Minimum pitch resolution", pref_number, 24, nullptr, 0, " pixels/octave", nullptr, true},
    {"Analysis:Time resolution", pref_number, 100, nullptr, 0, " pixels/second", nullptr, true},
    {"Analysis:Transition time resolution", pref_number, 100, nullptr, 0, " pixels/second", nullptr, true},
    {"History recording:Embedded file size limit", pref_number, 0, nullptr, 0, " MB", nullptr, true},
    {"History recording:History menu", pref_onoff, 0, nullptr, 0, nullptr, nullptr, true},
    {"History recording:Time unit", pref_text, 0, nullptr, 0, nullptr, "sec", true},
    {"History recording:Frequency position unit", pref_text, 0, nullptr, 0, nullptr, "Hz", true},
    {"History recording:Frequency dimensions unit", pref_text, 0, nullptr, 0, nullptr, "st", true},
    {"History recording:Relative selection index", pref_onoff, 0, nullptr, 0, nullptr, nullptr, true},
};
const int pref_key_count = (int)(sizeof pref_keys / sizeof pref_keys[0]);

const PrefKeyInfo* pref_key_info(const char* key)
{
    for (int i = 0; i < pref_key_count; i++)
        if (key && !strcmp(pref_keys[i].key, key))
            return &pref_keys[i];
    return nullptr;
}

// ---- Saving -------------------------------------------------------------------------

// One lock for every write of a preferences file, whichever store started it. Constant
// initialised, so it outlives the main store whose destructor waits for the last save.
static std::mutex save_lock;

// Written through a temporary and renamed, so a crash during a save never leaves half a file.
static void save_lines(std::string path, std::vector<std::string> lines, std::atomic<int>* done)
{
    {
        std::lock_guard<std::mutex> guard(save_lock);
        SaveFile save;
        if (save_begin(save, path, "Error: could not save the preferences")) {
            for (const std::string& line : lines)
                if (!save_write(save, line.data(), line.size()) || !save_write(save, "\n", 1))
                    break;
            save_end(save, "Error: could not save the preferences");
        }
    }
    done->fetch_add(1);
}

static void write_locked(PrefStore& store)
{
    if (store.path.empty())
        return;
    if (store.saver.joinable())
        store.saver.join();
    try {
        store.saver = std::thread(save_lines, store.path, store.lines, &store.saves_done);
    } catch (const std::system_error&) {
        // No thread to be had: the settings still reach the disk, only not in the background.
        save_lines(store.path, store.lines, &store.saves_done);
    }
}

void pref_write(PrefStore& store)
{
    std::lock_guard<std::mutex> guard(store.lock);
    write_locked(store);
}

void pref_wait(PrefStore& store)
{
    std::lock_guard<std::mutex> guard(store.lock);
    if (store.saver.joinable())
        store.saver.join();
}

PrefStore::~PrefStore()
{
    if (saver.joinable())
        saver.join();
}

PrefStore& pref_main_store()
{
    static PrefStore store;
    return store;
}

// ---- Loading ------------------------------------------------------------------------

void pref_open(PrefStore& store, const std::string& path)
{
    std::lock_guard<std::mutex> guard(store.lock);
    if (store.saver.joinable())
        store.saver.join();
    store.path = path;
    store.lines.clear();
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) {
        text.append(buf, n);
        if ((long)text.size() > pref_file_limit) {
            log_printf(stderr, "Warning: %s is larger than %ld bytes and was not read\n", path.c_str(),
                       pref_file_limit);
            fclose(f);
            return;
        }
    }
    fclose(f);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        // A file edited on another system may end its lines with CR LF.
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        store.lines.push_back(std::move(line));
        start = end + 1;
    }
}

// ---- Finding keys -------------------------------------------------------------------

static int leading_tabs(const std::string& line)
{
    int n = 0;
    while (n < (int)line.size() && line[n] == '\t')
        n++;
    return n;
}

// Splits "a:b:c" into its components; false for an empty component or a character that
// would break the line structure of the file.
static bool split_key(const char* key, std::vector<std::string>* parts)
{
    parts->clear();
    if (!key || !key[0])
        return false;
    std::string part;
    for (const char* c = key;; c++) {
        if (*c == ':' || *c == 0) {
            if (part.empty())
                return false;
            parts->push_back(part);
            part.clear();
            if (*c == 0)
                break;
        } else if (*c == '\n' || *c == '\r' || *c == '\t') {
            return false;
        } else {
            part += *c;
        }
    }
    return true;
}

// The line holds component `name` at depth `level`. The name must end where the line ends
// or where its value begins: a plain prefix test would take "Live synthesis cursor rate"
// for "Live synthesis" and overwrite it.
static bool line_is_component(const std::string& line, int level, const std::string& name)
{
    if (leading_tabs(line) != level || line.size() < (size_t)level + name.size())
        return false;
    if (line.compare((size_t)level, name.size(), name) != 0)
        return false;
    size_t after = (size_t)level + name.size();
    return after == line.size() || line[after] == ':';
}

static int find_loc_locked(PrefStore& store, const char* key, std::vector<std::string>* parts)
{
    if (store.path.empty() || store.lines.empty()) {
        log_printf(stderr, "Pref file not initialised in pref_find_loc()\n");
        return -1;
    }
    if (!split_key(key, parts)) {
        std::string shown = key ? key : "(null)";
        for (char& c : shown)
            if (c == '\n' || c == '\r' || c == '\t')
                c = '?';
        log_printf(stderr, "pref_find_loc(): invalid key \"%s\"\n", shown.c_str());
        return -1;
    }
    std::vector<std::string>& lines = store.lines;
    // The block being searched: [begin, end) of the file.
    int begin = 0, end = (int)lines.size();
    int found = -1;
    for (int level = 0; level < (int)parts->size(); level++) {
        const std::string& name = (*parts)[level];
        found = -1;
        for (int i = begin; i < end; i++)
            if (line_is_component(lines[i], level, name)) {
                found = i;
                break;
            }
        if (found < 0) {
            std::string line(level, '\t');
            line += name;
            if (level == 0) {
                if (!lines.empty())
                    lines.push_back("");
                lines.push_back(line);
                found = (int)lines.size() - 1;
            } else {
                lines.insert(lines.begin() + end, line);
                found = end;
            }
        }
        begin = found + 1;
        end = begin;
        while (end < (int)lines.size() && leading_tabs(lines[end]) > level)
            end++;
    }
    return found;
}

int pref_find_loc(PrefStore& store, const char* key)
{
    std::lock_guard<std::mutex> guard(store.lock);
    std::vector<std::string> parts;
    return find_loc_locked(store, key, &parts);
}

// The text after "<tabs><component>" on the key's line.
static std::string rest_of_line(const PrefStore& store, int loc, const std::vector<std::string>& parts)
{
    const std::string& line = store.lines[loc];
    size_t skip = parts.size() - 1 + parts.back().size();
    return skip < line.size() ? line.substr(skip) : std::string();
}

// Sets the key's line to "<tabs><component>: <value>" and saves when that changes it.
static void store_value(PrefStore& store, int loc, const std::vector<std::string>& parts,
                        const std::string& value, bool always)
{
    std::string line(parts.size() - 1, '\t');
    line += parts.back();
    line += ": ";
    for (char c : value)
        line += (c == '\n' || c == '\r') ? ' ' : c;
    if (always || store.lines[loc] != line) {
        store.lines[loc] = std::move(line);
        write_locked(store);
    }
}

static std::string format_number(double v)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

static bool read_number(const char* text, double* v)
{
    return sscanf(text, "%lg", v) == 1 && std::isfinite(*v);
}

// ---- Accessors ----------------------------------------------------------------------

double pref_get_number(PrefStore& store, const char* key, double def, const char* unit)
{
    std::lock_guard<std::mutex> guard(store.lock);
    std::vector<std::string> parts;
    int loc = find_loc_locked(store, key, &parts);
    if (loc < 0)
        return def;
    std::string rest = rest_of_line(store, loc, parts);
    double v;
    if (!rest.empty() && rest[0] == ':' && read_number(rest.c_str() + 1, &v))
        return v;
    store_value(store, loc, parts, format_number(def) + (unit ? unit : ""), true);
    return def;
}

void pref_set_number(PrefStore& store, const char* key, double value, const char* unit)
{
    std::lock_guard<std::mutex> guard(store.lock);
    std::vector<std::string> parts;
    int loc = find_loc_locked(store, key, &parts);
    if (loc >= 0)
        store_value(store, loc, parts, format_number(value) + (unit ? unit : ""), true);
}

static std::string two_numbers_text(double v1, const char* separator, double v2, const char* unit)
{
    return format_number(v1) + (separator ? separator : "") + format_number(v2) + (unit ? unit : "");
}

void pref_get_two_numbers(PrefStore& store, const char* key, double def1, const char* separator,
                          double def2, const char* unit, double* value1, double* value2)
{
    *value1 = def1;
    *value2 = def2;
    std::lock_guard<std::mutex> guard(store.lock);
    std::vector<std::string> parts;
    int loc = find_loc_locked(store, key, &parts);
    if (loc < 0)
        return;
    std::string rest = rest_of_line(store, loc, parts);
    if (!rest.empty() && rest[0] == ':' && separator && separator[0]) {
        std::string value = rest.substr(1);
        size_t sep = value.find(separator);
        double a, b;
        if (sep != std::string::npos && read_number(value.substr(0, sep).c_str(), &a) &&
            read_number(value.c_str() + sep + strlen(separator), &b)) {
            *value1 = a;
            *value2 = b;
            return;
        }
    }
    store_value(store, loc, parts, two_numbers_text(def1, separator, def2, unit), true);
}

void pref_set_two_numbers(PrefStore& store, const char* key, double value1, const char* separator,
                          double value2, const char* unit)
{
    std::lock_guard<std::mutex> guard(store.lock);
    std::vector<std::string> parts;
    int loc = find_loc_locked(store, key, &parts);
    if (loc >= 0)
        store_value(store, loc, parts, two_numbers_text(value1, separator, value2, unit), false);
}

// The value after ": ", or false when the line holds none (it then receives the default).
static bool get_text_locked(PrefStore& store, const char* key, const std::string& def, std::string* out)
{
    std::vector<std::string> parts;
    int loc = find_loc_locked(store, key, &parts);
    if (loc < 0) {
        *out = def;
        return false;
    }
    std::string rest = rest_of_line(store, loc, parts);
    if (rest.compare(0, 2, ": ") == 0) {
        *out = rest.substr(2);
        return true;
    }
    store_value(store, loc, parts, def, true);
    *out = def;
    return false;
}

static void set_text_locked(PrefStore& store, const char* key, const std::string& value)
{
    std::vector<std::string> parts;
    int loc = find_loc_locked(store, key, &parts);
    if (loc >= 0)
        store_value(store, loc, parts, value, false);
}

int pref_get_onoff(PrefStore& store, const char* key, int def)
{
    std::lock_guard<std::mutex> guard(store.lock);
    std::string value;
    get_text_locked(store, key, def ? "on" : "off", &value);
    if (value == "on")
        return 1;
    if (value == "off")
        return 0;
    return -1;
}

void pref_set_onoff(PrefStore& store, const char* key, int value)
{
    std::lock_guard<std::mutex> guard(store.lock);
    set_text_locked(store, key, value ? "on" : "off");
}

std::string pref_get_text(PrefStore& store, const char* key, const char* def)
{
    std::lock_guard<std::mutex> guard(store.lock);
    std::string value;
    get_text_locked(store, key, def ? def : "", &value);
    return value;
}

void pref_set_text(PrefStore& store, const char* key, const char* value)
{
    std::lock_guard<std::mutex> guard(store.lock);
    set_text_locked(store, key, value ? value : "");
}

// ---- Start-up -----------------------------------------------------------------------

namespace {
struct StartupValue {
    const PrefKeyInfo* info;
    double a = 0, b = 0;
    std::string text;
};
}

// Replaces a value the program cannot work with, saying so once.
static void keep_in_range(const char* key, double* v, double lo, double hi, double fallback)
{
    if (*v >= lo && *v <= hi)
        return;
    double repl = std::isnan(fallback) ? (*v < lo ? lo : hi) : fallback;
    log_printf(stderr, "Warning: preference \"%s\" holds %g, using %g\n", key, *v, repl);
    *v = repl;
}

// 1 or 0; any other stored text counts as the default.
static int onoff_or_default(double v, const PrefKeyInfo* k) { return v == 0 || v == 1 ? (int)v : (int)k->def1; }

bool pref_load_startup(PrefStore& store, const std::string& folder, PrefStartupValues* values)
{
    std::string path = path_join(folder, SONOGRAPHICA_PREF_FILE);

    // Files of the earlier format began with this key; they are rebuilt from the defaults.
    if (FILE* f = fopen(path.c_str(), "rb")) {
        char head[17];
        size_t n = fread(head, 1, sizeof head, f);
        fclose(f);
        if (n == sizeof head && !memcmp(head, "audio_buffer_size", sizeof head))
            unlink(path.c_str());
    }

    pref_open(store, path);
    {
        std::lock_guard<std::mutex> guard(store.lock);
        std::vector<std::string>& lines = store.lines;
        if (lines.empty() || lines[0] != SONOGRAPHICA_PREF_TITLE) {
            // A title of another version is brought up to date; a file without one gets one.
            if (!lines.empty() && lines[0].compare(0, 13, "Sonographica ") == 0)
                lines[0] = SONOGRAPHICA_PREF_TITLE;
            else
                lines.insert(lines.begin(), SONOGRAPHICA_PREF_TITLE);
            write_locked(store);
        }
    }

    std::vector<StartupValue> read;
    for (int i = 0; i < pref_key_count; i++) {
        const PrefKeyInfo* k = &pref_keys[i];
        if (!k->at_startup)
            continue;
        StartupValue v;
        v.info = k;
        switch (k->kind) {
        case pref_number:
            v.a = pref_get_number(store, k->key, k->def1, k->unit);
            break;
        case pref_two_numbers:
            pref_get_two_numbers(store, k->key, k->def1, k->separator, k->def2, k->unit, &v.a, &v.b);
            break;
        case pref_onoff:
            v.a = pref_get_onoff(store, k->key, (int)k->def1);
            break;
        case pref_text:
            v.text = pref_get_text(store, k->key, k->text);
            break;
        }
        read.push_back(std::move(v));
    }
    auto get = [&](const char* key) -> StartupValue& {
        for (StartupValue& v : read)
            if (!strcmp(v.info->key, key))
                return v;
        // Every key asked for below is marked for start-up in the table.
        abort();
    };

    PrefStartupValues& out = *values;
    out = PrefStartupValues();
    double d;
    d = get("Audio output:Sample rate").a;
    keep_in_range("Audio output:Sample rate", &d, 8000, 384000, NAN);
    out.sample_rate = (int)std::nearbyint(d);
    d = get("Audio output:Buffer length").a;
    keep_in_range("Audio output:Buffer length", &d, 200, 32768, NAN);
    out.buffer_length = (int)std::nearbyint(d);
    out.live_synthesis = onoff_or_default(get("Audio output:Live synthesis").a,
                                          pref_key_info("Audio output:Live synthesis"));
    out.cursor_rate = get("Audio output:Live synthesis cursor rate").a;
    keep_in_range("Audio output:Live synthesis cursor rate", &out.cursor_rate, 0.01, 1000, 20);
    d = get("Interface:Waveform height").a;
    keep_in_range("Interface:Waveform height", &d, 0, 10000, 55);
    out.waveform_height = (int)std::nearbyint(d);
    out.linear_knob_control = onoff_or_default(get("Interface:Linear knob control").a,
                                               pref_key_info("Interface:Linear knob control"));
    out.tool_width = get("Tool:Width").a;
    keep_in_range("Tool:Width", &out.tool_width, 0, 1e6, 20);
    out.tool_intensity = get("Tool:Intensity").a / 100;
    d = get("Tool:Spray harmonics").a;
    keep_in_range("Tool:Spray harmonics", &d, 0, 1e6, 100);
    out.spray_harmonics = (int)std::nearbyint(d);

    StartupValue& range = get("Analysis:Frequency range");
    out.analysis_fmin = range.a;
    out.analysis_fmax = range.b;
    if (!(range.a > 0 && range.b > range.a)) {
        log_printf(stderr, "Warning: preference \"Analysis:Frequency range\" holds %g - %g, using 27.5 - 20000\n",
                   range.a, range.b);
        out.analysis_fmin = 27.5;
        out.analysis_fmax = 20000;
    }
    out.pitch_resolution = get("Analysis:Pitch resolution").a;
    keep_in_range("Analysis:Pitch resolution", &out.pitch_resolution, 1e-3, 1e6, 60);
    out.min_pitch_resolution = get("Analysis:Minimum pitch resolution").a;
    keep_in_range("Analysis:Minimum pitch resolution", &out.min_pitch_resolution, 0, 1e6, 24);
    out.time_resolution = get("Analysis:Time resolution").a;
    keep_in_range("Analysis:Time resolution", &out.time_resolution, 1e-3, 1e6, 100);
    out.transition_time_resolution = get("Analysis:Transition time resolution").a;
    keep_in_range("Analysis:Transition time resolution", &out.transition_time_resolution, 1e-3, 1e6, 100);

    out.embedded_file_size_limit = get("History recording:Embedded file size limit").a;
    out.history_menu = onoff_or_default(get("History recording:History menu").a,
                                        pref_key_info("History recording:History menu"));
    out.time_unit = get("History recording:Time unit").text;
    out.frequency_position_unit = get("History recording:Frequency position unit").text;
    out.frequency_dimensions_unit = get("History recording:Frequency dimensions unit").text;
    out.relative_selection_index = onoff_or_default(get("History recording:Relative selection index").a,
                                                    pref_key_info("History recording:Relative selection index"));

    // The caller may read the file (or exit) right after start-up: let the saves land first.
    pref_wait(store);
    return file_exists(path);
}
