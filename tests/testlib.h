// Helpers shared by the test executables.
#pragma once
#include <string>
#include <vector>

// A fresh temporary folder, removed with its contents when the object goes away.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    std::string file(const std::string& name) const { return path + "/" + name; }
};

std::string read_text_file(const std::string& path);
// The names in a folder, "." and ".." left out; empty when it cannot be read.
std::vector<std::string> folder_entries(const std::string& folder);
std::vector<unsigned char> read_binary_file(const std::string& path);
void write_binary_file(const std::string& path, const void* data, size_t size);
void write_text_file(const std::string& path, const std::string& text);

// Runs a shell command, returns its exit status; standard output is captured into `out`.
int run_command(const std::string& command, std::string* out = nullptr);
// The built command-line program.
std::string cli_path();
