// The status file: a snapshot of the project written as archive lines that rebuild it,
// with every layer's pixels, the original sound and the original image in Base85 blocks.
#pragma once
#include <string>

struct App;

// Writes the status file; false (with one log line) when the file cannot be written.
bool write_status_file(App& app, const std::string& path);
