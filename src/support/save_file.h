// Saving without ever destroying the file being replaced. The new content goes into a
// temporary file beside the destination (".NAME.tmp-PID"), is flushed and synced to the
// disk, and only then renamed over the destination: a crash, a kill or a full disk leaves
// the previous file as it was. A destination that is not a regular file (a pipe, a device
// such as /dev/stdout) is written straight away, since it cannot be replaced by a rename.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

struct SaveFile {
    FILE* stream = nullptr;   // where the content goes; null until save_begin succeeded
    std::string path;         // the destination as the caller named it (for messages)
    std::string target;       // what the rename replaces: the path with symbolic links resolved
    std::string temporary;    // empty when writing straight into the destination
    int error = 0;            // errno of the first failure seen by save_write
    SaveFile() = default;
    SaveFile(const SaveFile&) = delete;
    SaveFile& operator=(const SaveFile&) = delete;
    ~SaveFile();              // a save neither ended nor abandoned is abandoned
};

// Starts saving `path`. Returns the stream to write to, or null after one log line
// "`who`: couldn't write file 'PATH': REASON". Temporaries of this destination left by
// processes that no longer run are removed first.
FILE* save_begin(SaveFile& s, const std::string& path, const char* who);
// fwrite that remembers the reason of the first failure; false when not all was written.
bool save_write(SaveFile& s, const void* data, size_t size);
// Ends the save: flushes, syncs, closes and renames the temporary over the destination.
// True when the destination now holds everything written. Otherwise (a write failed
// before, or the flush, sync, close or rename fails) one log line names the file and the
// system's reason, the temporary is removed and the previous file is untouched.
bool save_end(SaveFile& s, const char* who);
// Gives the save up without a message (the caller has said why): the temporary is removed.
void save_abandon(SaveFile& s);

// The whole content at once: save_begin, save_write, save_end.
bool save_whole_file(const std::string& path, const void* data, size_t size, const char* who);

// Whether `name` (a last path component) is one of our temporaries, and of which process.
bool is_save_temporary(const std::string& name, long* pid = nullptr);
// Removes from `folder` the temporaries whose process no longer runs: all of them, or only
// those of the destination named `only_for` when it is not empty. Returns how many went.
int remove_stale_temporaries(const std::string& folder, const std::string& only_for = "");
