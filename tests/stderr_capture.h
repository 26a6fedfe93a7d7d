// Collects what the code under test writes to standard error (log lines), so that tests can
// count and read the messages.
#pragma once
#include <cstdio>
#include <string>
#include <unistd.h>

#include "testlib.h"

struct StderrCapture {
    TempDir dir;
    int saved = -1;
    StderrCapture()
    {
        fflush(stderr);
        saved = dup(2);
        FILE* f = freopen(dir.file("stderr.txt").c_str(), "w", stderr);
        (void)f;
    }
    // What was written since the last call, capture going on.
    std::string take()
    {
        fflush(stderr);
        std::string all = read_text_file(dir.file("stderr.txt"));
        std::string fresh = all.substr(taken < all.size() ? taken : all.size());
        taken = all.size();
        return fresh;
    }
    size_t taken = 0;
    // What was written so far; standard error goes back to where it was.
    std::string finish()
    {
        if (saved >= 0) {
            fflush(stderr);
            dup2(saved, 2);
            close(saved);
            saved = -1;
        }
        return read_text_file(dir.file("stderr.txt"));
    }
    ~StderrCapture() { finish(); }
};

inline int count_lines(const std::string& text)
{
    int n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}
