// Diagnostics: every message of the program goes through log_printf, which mirrors
// standard output and standard error into "logfile.txt" of the data folder.
#pragma once
#include <cstdio>

#define SONOGRAPHICA_TITLE "Sonographica 1.11.2"

// Opens (truncating) "logfile.txt" in `folder` and writes the header. A null or empty
// folder, or a file that cannot be created, leaves the log closed; the program runs on.
// Returns 1 when the log is open.
int log_open(const char* folder);
void log_close();

// Formats into `stream` and flushes it; text for stdout or stderr is also written to the
// log file. One write per stream, so messages of different threads do not interleave.
int log_printf(FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));

// fopen that reports "File not found: %s\n" on failure.
FILE* file_open_logged(const char* path, const char* mode);
