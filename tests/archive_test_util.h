// Running archive text in tests the way an archive file runs.
#pragma once
#include <string>
#include <vector>

#include "commands/app.h"
#include "commands/archive_read.h"

// Executes every line of `text` with the line after it as its next line.
inline void run_lines(App& app, const std::string& text)
{
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

inline float pixel(App& app, int layer, int x, int y) { return app.project.layers[layer].image[y][x]; }
