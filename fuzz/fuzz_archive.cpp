// Archive text of any shape through the interpreter: line by line with the following line as
// data, and as a file through load_archive. Nothing may crash, and the project must still
// take ordinary lines afterwards.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "commands/app.h"
#include "commands/archive_read.h"
#include "support/paths.h"

static std::string work_folder;

static bool prepare()
{
    char pattern[] = "/tmp/sonographica-fuzz-XXXXXX";
    if (const char* made = mkdtemp(pattern)) {
        work_folder = made;
        setenv("SONOGRAPHICA_DATA_DIR", made, 1);
        data_folder_reset();
    }
    return true;
}

// Lines that would reach the file system (saving anywhere a path says, opening devices)
// become comments; the tests cover those commands with files of their own.
static void neutralise(std::string& text)
{
    size_t start = 0;
    while (start <= text.size()) {
        size_t i = start;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            i++;
        for (const char* word : {"Save", "Open", "Import"}) {
            if (text.compare(i, std::char_traits<char>::length(word), word) == 0) {
                text[i] = '/';
                break;
            }
        }
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
}

static void limit(App& app)
{
    app.history.enabled = false;
    app.archive.max_picture_pixels = 1 << 14;
    app.archive.max_sound_samples = 1 << 16;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = prepare();
    (void)ready;
    std::string text((const char*)data, size);
    neutralise(text);

    App app;
    limit(app);
    if (size % 2 == 1 && !work_folder.empty()) {
        std::string path = work_folder + "/input.sga";
        if (FILE* f = fopen(path.c_str(), "wb")) {
            fwrite(text.data(), 1, text.size(), f);
            fclose(f);
            load_archive(app, path);
        }
    } else {
        std::vector<std::string> lines;
        size_t start = 0;
        for (;;) {
            size_t end = text.find('\n', start);
            lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        for (size_t i = 0; i < lines.size(); i++)
            execute_archive_line(app, lines[i], i + 1 < lines.size() ? lines[i + 1].c_str() : nullptr);
    }
    for (const char* line : {"Clear image", "Dimensions 3 px x 2 px", "New layer \"after\"", "Multiply layer by 2",
                             "Merge all to new layer"})
        execute_archive_line(app, line, nullptr);
    if (app.project.layers.size() != 2 || app.project.width != 3)
        abort();
    return 0;
}
