#include "support/log.h"

#include <cstdarg>
#include <cstdlib>
#include <mutex>
#include <string>

static std::mutex log_mutex;
static FILE* log_file = nullptr;

int log_open(const char* folder)
{
    std::lock_guard<std::mutex> lock(log_mutex);
    if (log_file) {
        fclose(log_file);
        log_file = nullptr;
    }
    if (!folder || !folder[0])
        return 0;
    std::string path = std::string(folder) + "/logfile.txt";
    log_file = fopen(path.c_str(), "wb");
    if (!log_file)
        return 0;
    fprintf(log_file, "%s\n\nOutput log\n\n", SONOGRAPHICA_TITLE);
    fflush(log_file);
    return 1;
}

void log_close()
{
    std::lock_guard<std::mutex> lock(log_mutex);
    if (log_file)
        fclose(log_file);
    log_file = nullptr;
}

int log_printf(FILE* stream, const char* format, ...)
{
    char small[1024];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0)
        return n;
    std::string big;
    const char* text = small;
    if ((size_t)n >= sizeof small) {
        big.resize((size_t)n + 1);
        va_start(args, format);
        vsnprintf(big.data(), big.size(), format, args);
        va_end(args);
        text = big.c_str();
    }
    std::lock_guard<std::mutex> lock(log_mutex);
    fwrite(text, 1, (size_t)n, stream);
    fflush(stream);
    if (log_file && (stream == stdout || stream == stderr)) {
        fwrite(text, 1, (size_t)n, log_file);
        fflush(log_file);
    }
    return n;
}

FILE* file_open_logged(const char* path, const char* mode)
{
    FILE* f = fopen(path, mode);
    if (!f)
        log_printf(stderr, "File not found: %s\n", path);
    return f;
}
