#include "testlib.h"

#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

#include "support/paths.h"

TempDir::TempDir()
{
    char pattern[] = "/tmp/sonographica-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made)
        throw std::runtime_error("mkdtemp failed");
    path = made;
}

TempDir::~TempDir()
{
    std::string cmd = "rm -rf '" + path + "'";
    if (system(cmd.c_str()) != 0)
        fprintf(stderr, "could not remove %s\n", path.c_str());
}

std::string read_text_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<unsigned char> read_binary_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_binary_file(const std::string& path, const void* data, size_t size)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        throw std::runtime_error("cannot write " + path);
    fwrite(data, 1, size, f);
    fclose(f);
}

void write_text_file(const std::string& path, const std::string& text)
{
    write_binary_file(path, text.data(), text.size());
}

int run_command(const std::string& command, std::string* out)
{
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        if (out)
            out->append(buf, n);
    int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string cli_path() { return SONO_CLI_PATH; }

// Every test executable works in a private data folder, so no test touches the user's files.
namespace {
struct PrivateDataFolder {
    TempDir dir;
    PrivateDataFolder()
    {
        setenv("SONOGRAPHICA_DATA_DIR", dir.path.c_str(), 1);
        data_folder_reset();
    }
};
PrivateDataFolder private_data_folder;
}

std::vector<std::string> folder_entries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (const dirent* e = readdir(d))
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, ".."))
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}
