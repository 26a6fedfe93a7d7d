// File choosers: the desktop's own through zenity or kdialog when one is installed, run in a
// thread so that the window keeps drawing; otherwise a path typed into a floating window of
// the program, with Tab completing folders and names.
#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/widgets.h"

struct FileFilter {
    std::string name;                // "Image file, 8-bit (.PNG)"
    std::string patterns;            // "*.png" or "*.sga;*.bmp;..."
};

struct FileChooserRequest {
    std::string title;
    bool save = false;
    std::string folder;              // where it starts; "" for the working folder
    std::vector<FileFilter> filters; // in the order shown, the first chosen at first
};

// A test or embedding may answer every request itself: true with a path, false for Cancel.
using ChooseFileFn = bool (*)(void* context, const FileChooserRequest& request, std::string* path);

enum : int {
    chooser_idle = 0,
    chooser_running = 1,             // waiting for the user
    chooser_chosen = 2,              // `path` holds the answer
    chooser_cancelled = 3,
};

struct FileChooser {
    std::atomic<int> state{chooser_idle};
    std::string path;                // valid once chosen
    std::thread worker;              // the external chooser's process is waited for here
    // The in-app chooser, used when no external tool exists.
    bool in_app = false;
    FileChooserRequest request;
    FloatingWindow window;
    TextField field;
    ChooseFileFn hook = nullptr;
    void* hook_context = nullptr;
    std::string tool;                // "zenity", "kdialog" or "" (looked up once)
    bool tool_known = false;

    FileChooser() = default;
    ~FileChooser();
    FileChooser(const FileChooser&) = delete;
    FileChooser& operator=(const FileChooser&) = delete;
};

// "zenity" or "kdialog" when found on PATH, else "".
std::string file_chooser_tool();
// The command line that asks `tool` for the request.
std::vector<std::string> file_chooser_command(const std::string& tool, const FileChooserRequest& r);
// Starts a request (ignored while one runs). The answer arrives in a later frame.
void file_chooser_start(FileChooser& c, const FileChooserRequest& r);
// The answer once: chooser_chosen (with *path) or chooser_cancelled, then idle again;
// chooser_running or chooser_idle otherwise.
int file_chooser_take(FileChooser& c, std::string* path);
// The in-app chooser's window while it is asked.
void file_chooser_frame(WidgetContext& ctx, FileChooser& c, int screen_w, int screen_h);
// Tab in the in-app chooser: the typed path extended by what every matching name in its
// folder shares; a single matching folder gets its "/".
std::string complete_path(const std::string& typed);
