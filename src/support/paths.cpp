#include "support/paths.h"

#include <cctype>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

// Function-local so that it is usable from other files' static initialisers.
struct FolderState {
    std::mutex mutex;
    std::string path;
};
static FolderState& folder_state()
{
    static FolderState state;
    return state;
}

bool make_folders(const std::string& path)
{
    if (path.empty())
        return false;
    for (size_t i = 1; i <= path.size(); i++) {
        if (i == path.size() || path[i] == '/')
            mkdir(path.substr(0, i).c_str(), 0755);
    }
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

const std::string& data_folder()
{
    FolderState& st = folder_state();
    std::lock_guard<std::mutex> lock(st.mutex);
    std::string& folder = st.path;
    if (folder.empty()) {
        const char* env = getenv("SONOGRAPHICA_DATA_DIR");
        const char* xdg = getenv("XDG_DATA_HOME");
        const char* home = getenv("HOME");
        if (env && env[0])
            folder = env;
        else if (xdg && xdg[0])
            folder = std::string(xdg) + "/Sonographica";
        else
            folder = std::string(home && home[0] ? home : ".") + "/.local/share/Sonographica";
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        make_folders(folder);
    }
    return folder;
}

void data_folder_reset()
{
    FolderState& st = folder_state();
    std::lock_guard<std::mutex> lock(st.mutex);
    st.path.clear();
}

std::string path_join(const std::string& dir, const std::string& name)
{
    if (dir.empty() || (!name.empty() && name[0] == '/'))
        return name;
    if (dir.back() == '/')
        return dir + name;
    return dir + "/" + name;
}

std::string path_folder(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return "";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string get_filename_from_path(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string path_extension_lower(const std::string& path)
{
    std::string name = get_filename_from_path(path);
    size_t dot = name.find_last_of('.');
    if (dot == std::string::npos)
        return "";
    std::string ext = name.substr(dot + 1);
    for (char& c : ext)
        c = (char)tolower((unsigned char)c);
    return ext;
}

bool file_exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string executable_folder()
{
    std::string buf(4096, '\0');
    ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0)
        return "";
    buf.resize((size_t)n);
    return path_folder(buf);
}

bool set_working_directory_to_executable()
{
    std::string folder = executable_folder();
    return !folder.empty() && chdir(folder.c_str()) == 0;
}
