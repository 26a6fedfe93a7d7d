#include "ui/file_chooser.h"

#include <dirent.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "support/log.h"
#include "ui/dialog_layout.h"

extern char** environ;

namespace {

bool executable_on_path(const char* name)
{
    const char* path = getenv("PATH");
    if (!path)
        return false;
    std::string all = path;
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(':', start);
        if (end == std::string::npos)
            end = all.size();
        const std::string candidate = all.substr(start, end - start) + "/" + name;
        if (end > start && access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// "*.sga;*.bmp" as the tools want it: separated by spaces.
std::string spaced(const std::string& patterns)
{
    std::string s = patterns;
    std::replace(s.begin(), s.end(), ';', ' ');
    return s;
}

// Runs the command and returns its first output line; false when it did not exit with 0
// (the tools' way of saying Cancel) or could not run.
bool run_chooser(const std::vector<std::string>& command, std::string* out)
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> argv;
    for (const std::string& a : command)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        log_printf(stderr, "Error: the file chooser %s could not be started\n", argv[0]);
        return false;
    }
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0 && text.size() < 65536)
        text.append(buf, (size_t)n);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    text = text.substr(0, text.find('\n'));
    *out = text;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 && !text.empty();
}

}  // namespace

FileChooser::~FileChooser()
{
    // The external chooser is the user's to close; waiting here keeps its thread from
    // outliving the record it writes to.
    if (worker.joinable())
        worker.join();
}

std::string file_chooser_tool()
{
    if (executable_on_path("zenity"))
        return "zenity";
    if (executable_on_path("kdialog"))
        return "kdialog";
    return "";
}

std::vector<std::string> file_chooser_command(const std::string& tool, const FileChooserRequest& r)
{
    std::vector<std::string> c;
    if (tool == "zenity") {
        c = {"zenity", "--file-selection", "--title=" + r.title};
        if (r.save)
            c.insert(c.end(), {"--save", "--confirm-overwrite"});
        if (!r.folder.empty())
            c.push_back("--filename=" + r.folder + "/");
        for (const FileFilter& f : r.filters)
            c.push_back("--file-filter=" + f.name + " | " + spaced(f.patterns));
    } else if (tool == "kdialog") {
        std::string filters;
        for (const FileFilter& f : r.filters)
            filters += (filters.empty() ? "" : "\n") + f.name + " (" + spaced(f.patterns) + ")";
        c = {"kdialog", "--title", r.title, r.save ? "--getsavefilename" : "--getopenfilename",
             r.folder.empty() ? "." : r.folder, filters};
    }
    return c;
}

void file_chooser_start(FileChooser& c, const FileChooserRequest& r)
{
    if (c.state.load() == chooser_running)
        return;
    if (c.worker.joinable())
        c.worker.join();
    c.request = r;
    c.path.clear();
    if (c.hook) {
        std::string path;
        const bool chosen = c.hook(c.hook_context, r, &path);
        c.path = path;
        c.state = chosen ? chooser_chosen : chooser_cancelled;
        return;
    }
    if (!c.tool_known) {
        c.tool = file_chooser_tool();
        c.tool_known = true;
    }
    c.state = chooser_running;
    if (c.tool.empty()) {
        c.in_app = true;
        text_field_set(c.field, r.folder.empty() ? "" : r.folder + "/");
        return;
    }
    const std::vector<std::string> command = file_chooser_command(c.tool, r);
    c.worker = std::thread([&c, command] {
        std::string path;
        const bool chosen = run_chooser(command, &path);
        c.path = path;
        c.state = chosen ? chooser_chosen : chooser_cancelled;
    });
}

int file_chooser_take(FileChooser& c, std::string* path)
{
    const int s = c.state.load();
    if (s != chooser_chosen && s != chooser_cancelled)
        return s;
    if (c.worker.joinable())
        c.worker.join();
    if (s == chooser_chosen && path)
        *path = c.path;
    c.state = chooser_idle;
    return s;
}

std::string complete_path(const std::string& typed)
{
    const size_t slash = typed.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : typed.substr(0, slash);
    const std::string stem = slash == std::string::npos ? typed : typed.substr(slash + 1);
    const std::string head = slash == std::string::npos ? "" : typed.substr(0, slash + 1);
    DIR* d = opendir(folder.c_str());
    if (!d)
        return typed;
    std::vector<std::string> matches;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        if (name.compare(0, stem.size(), stem) == 0 && (stem.size() > 0 || name[0] != '.'))
            matches.push_back(name);
    }
    closedir(d);
    if (matches.empty())
        return typed;
    std::string common = matches[0];
    for (const std::string& m : matches) {
        size_t k = 0;
        while (k < common.size() && k < m.size() && common[k] == m[k])
            k++;
        common.resize(k);
    }
    std::string result = head + common;
    struct stat st;
    if (matches.size() == 1 && stat(result.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        result += "/";
    return result;
}

void file_chooser_frame(WidgetContext& ctx, FileChooser& c, int screen_w, int screen_h)
{
    if (!c.in_app || c.state.load() != chooser_running)
        return;
    const int s = ctx.scale;
    dialog_size_window(dialog_file_chooser, c.window, s);
    if (c.window.x == 40 && c.window.y == 60) {
        c.window.x = std::max(0, (screen_w - c.window.w) / 2);
        c.window.y = std::max(0, (screen_h - c.window.h) / 3);
    }
    floating_window(ctx, 9001, c.window, c.request.title, screen_w, screen_h);
    const ResolvedLayout r = dialog_resolve(dialog_file_chooser, c.window, s);
    std::string filters;
    for (const FileFilter& f : c.request.filters)
        filters += (filters.empty() ? "" : ", ") + f.patterns;
    label(ctx, dialog_rect(r, 1), "File path (Tab completes): " + filters);
    if (ctx.focus == nullptr && !ctx.input.left_pressed)
        widgets_focus(ctx, &c.field);
    for (const WidgetKey& k : ctx.input.keys)
        if (k.key == wkey_tab && ctx.focus == &c.field)
            text_field_set(c.field, complete_path(c.field.text));
    const int f = text_field(ctx, c.field, dialog_rect(r, 2));
    const bool ok = button(ctx, 9002, dialog_rect(r, 3), c.request.save ? "Save" : "Open");
    const bool cancel = button(ctx, 9003, dialog_rect(r, 4), dialog_text(dialog_file_chooser, 4));
    const bool usable = !c.field.text.empty() && c.field.text.back() != '/';
    if ((ok || (f & field_entered)) && usable) {
        c.path = c.field.text;
        c.state = chooser_chosen;
    } else if (cancel || (f & field_escaped) || c.window.close_clicked) {
        c.state = chooser_cancelled;
    }
    if (c.state.load() != chooser_running) {
        c.in_app = false;
        if (ctx.focus == &c.field)
            ctx.focus = nullptr;
    }
}
