// The per-user data folder and small path helpers.
#pragma once
#include <string>

// "$SONOGRAPHICA_DATA_DIR", else "$XDG_DATA_HOME/Sonographica", else
// "~/.local/share/Sonographica"; created on first use. No trailing slash.
const std::string& data_folder();
// Forgets the cached folder so the next call reads the environment again (tests).
void data_folder_reset();

// The folder of the running executable (from /proc/self/exe), where "gfx/" lies; "" when
// it cannot be found.
std::string executable_folder();
// Makes the executable's folder the working directory, as the desktop program does at
// start-up so that relative interface paths resolve. Returns false when that fails.
bool set_working_directory_to_executable();

// "dir/name"; `name` alone when dir is empty or name is absolute.
std::string path_join(const std::string& dir, const std::string& name);
// The folder part of a path, without its last slash; "" when there is none.
std::string path_folder(const std::string& path);
// The last component of a path.
std::string get_filename_from_path(const std::string& path);
// Lower-cased extension without the dot; "" when there is none.
std::string path_extension_lower(const std::string& path);
bool file_exists(const std::string& path);
// Creates a folder and its parents; true when it exists afterwards.
bool make_folders(const std::string& path);
