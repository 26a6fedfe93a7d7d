#include "support/save_file.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/log.h"

namespace {

constexpr const char* temporary_mark = ".tmp-";
// A name as long as the file system allows would leave no room for the mark and the number.
constexpr size_t temporary_name_keep = 200;

void report(const char* who, const std::string& path, int error)
{
    log_printf(stderr, "%s: couldn't write file '%s': %s\n", who, path.c_str(), strerror(error ? error : EIO));
}

// The folder of a path ("" for a bare name, "/" for a file at the root).
std::string folder_of(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return "";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string name_of(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string temporary_prefix(const std::string& name)
{
    std::string prefix(1, '.');
    prefix.append(name, 0, temporary_name_keep);
    return prefix.append(temporary_mark);
}

bool process_runs(long pid)
{
    return pid > 0 && pid <= INT_MAX && (kill((pid_t)pid, 0) == 0 || errno == EPERM);
}

// The temporaries of this process's saves under way: a second save of the same file while
// the first runs must not take the first one's temporary over.
std::mutex active_lock;
std::set<std::string>& active_temporaries()
{
    static std::set<std::string> names;
    return names;
}

bool claim(const std::string& temporary)
{
    std::lock_guard<std::mutex> guard(active_lock);
    return active_temporaries().insert(temporary).second;
}

// Removes the temporary (when it is still there) and forgets it.
void release(SaveFile& s, bool remove_file)
{
    if (s.temporary.empty())
        return;
    if (remove_file)
        unlink(s.temporary.c_str());
    std::lock_guard<std::mutex> guard(active_lock);
    active_temporaries().erase(s.temporary);
    s.temporary.clear();
}

}  // namespace

SaveFile::~SaveFile()
{
    if (stream)
        save_abandon(*this);
}

bool is_save_temporary(const std::string& name, long* pid)
{
    const size_t mark = name.rfind(temporary_mark);
    if (name.size() < 2 || name[0] != '.' || mark == std::string::npos || mark < 2)
        return false;
    const std::string digits = name.substr(mark + strlen(temporary_mark));
    if (digits.empty() || digits.size() > 10 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    if (pid)
        *pid = strtol(digits.c_str(), nullptr, 10);
    return true;
}

int remove_stale_temporaries(const std::string& folder, const std::string& only_for)
{
    const std::string dir_path = folder.empty() ? "." : folder;
    DIR* dir = opendir(dir_path.c_str());
    if (!dir)
        return 0;
    const std::string prefix = only_for.empty() ? "" : temporary_prefix(only_for);
    int removed = 0;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        long pid = 0;
        if (!is_save_temporary(name, &pid) || (!prefix.empty() && name.rfind(prefix, 0) != 0))
            continue;
        // A save of this process or of another program still running is in progress.
        if (pid == (long)getpid() || process_runs(pid))
            continue;
        const std::string path = dir_path + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && unlink(path.c_str()) == 0)
            removed++;
    }
    closedir(dir);
    return removed;
}

FILE* save_begin(SaveFile& s, const std::string& path, const char* who)
{
    if (s.stream)
        save_abandon(s);
    s.path = s.target = path;
    s.temporary.clear();
    s.error = 0;
    if (path.empty()) {
        report(who, path, ENOENT);
        return nullptr;
    }
    struct stat st;
    const bool exists = stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        report(who, path, EISDIR);
        return nullptr;
    }
    if (exists && !S_ISREG(st.st_mode)) {
        // A pipe or a device: there is nothing to keep, and no rename could reach it.
        s.stream = fopen(path.c_str(), "wb");
        if (!s.stream)
            report(who, path, errno);
        return s.stream;
    }
    // A symbolic link goes on naming the file it named: the rename replaces that file.
    struct stat link;
    if (exists && lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved))
            s.target = resolved;
    }
    const std::string folder = folder_of(s.target), name = name_of(s.target);
    remove_stale_temporaries(folder, name);
    const std::string temporary = (folder.empty() ? "" : folder == "/" ? "/" : folder + "/") +
                                  temporary_prefix(name) + std::to_string((long)getpid());
    if (!claim(temporary)) {
        report(who, path, EBUSY);  // this file is being saved already
        return nullptr;
    }
    s.temporary = temporary;
    int fd = open(s.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno == EEXIST) {
        // Ours by its number, yet no save of ours uses it: left by an earlier process that
        // had the same number.
        unlink(s.temporary.c_str());
        fd = open(s.temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    }
    if (fd < 0) {
        const int e = errno;
        release(s, false);
        report(who, path, e);
        return nullptr;
    }
    // The new file keeps the permissions of the one it replaces.
    if (exists)
        fchmod(fd, st.st_mode & 07777);
    s.stream = fdopen(fd, "wb");
    if (!s.stream) {
        const int e = errno;
        close(fd);
        release(s, true);
        report(who, path, e);
    }
    return s.stream;
}

bool save_write(SaveFile& s, const void* data, size_t size)
{
    if (!s.stream)
        return false;
    if (size == 0 || fwrite(data, 1, size, s.stream) == size)
        return true;
    if (!s.error)
        s.error = errno ? errno : EIO;
    return false;
}

bool save_end(SaveFile& s, const char* who)
{
    if (!s.stream)
        return false;
    int e = s.error;
    if (!e && ferror(s.stream))
        e = errno ? errno : EIO;
    if (fflush(s.stream) != 0 && !e)
        e = errno;
    // The content reaches the disk before the rename can: a crash then leaves the old file or
    // the whole new one. (The rename itself may be lost to a crash; the old file stays then.)
    if (!e && !s.temporary.empty() && fdatasync(fileno(s.stream)) != 0)
        e = errno;
    if (fclose(s.stream) != 0 && !e)
        e = errno;
    s.stream = nullptr;
    if (!e && !s.temporary.empty()) {
        if (rename(s.temporary.c_str(), s.target.c_str()) != 0)
            e = errno;
        else
            release(s, false);
    }
    if (!e)
        return true;
    release(s, true);
    report(who, s.path, e);
    return false;
}

void save_abandon(SaveFile& s)
{
    if (s.stream)
        fclose(s.stream);
    s.stream = nullptr;
    release(s, true);
}

bool save_whole_file(const std::string& path, const void* data, size_t size, const char* who)
{
    SaveFile s;
    if (!save_begin(s, path, who))
        return false;
    save_write(s, data, size);
    return save_end(s, who);
}
