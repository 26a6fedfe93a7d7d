#include "app/user_guide.h"

#include <cstdlib>

#include "app/menu_shell.h"
#include "app/shell.h"
#include "support/log.h"
#include "support/paths.h"

const char* const user_guide_name = "Sonographica User Guide.pdf";

namespace {

// The override first, then beside the program, then the prefix's shared data folder.
int user_guide_candidates(std::string out[3])
{
    int n = 0;
    if (const char* file = getenv("SONOGRAPHICA_GUIDE"); file && *file) {
        // An explicit choice is not second-guessed: a wrong one must show, not be papered over.
        out[n++] = file;
        return n;
    }
    const std::string exe = executable_folder();
    out[n++] = path_join(exe, user_guide_name);
    out[n++] = path_join(path_join(path_folder(exe), "share/sonographica"), user_guide_name);
    return n;
}

}  // namespace

std::string user_guide_path()
{
    std::string candidates[3];
    const int n = user_guide_candidates(candidates);
    for (int i = 0; i < n; i++)
        if (file_exists(candidates[i]))
            return candidates[i];
    return "";
}

std::string user_guide_places(const char* separator)
{
    std::string candidates[3];
    const int n = user_guide_candidates(candidates);
    std::string text;
    for (int i = 0; i < n; i++) {
        if (i)
            text += separator;
        text += candidates[i];
    }
    return text;
}

void user_guide_check()
{
    if (user_guide_path().empty())
        log_printf(stderr, "Warning: the user guide is missing; Help > Open Manual looks for it in %s\n",
                   user_guide_places(" and ").c_str());
}

void open_user_guide(Shell& sh)
{
    const std::string guide = user_guide_path();
    if (guide.empty()) {
        log_printf(stderr, "File %s couldn't be opened\n", user_guide_name);
        message_box(sh, ("The user guide was not found in:\n" + user_guide_places("\n")).c_str(), "Open Manual", 1);
        return;
    }
    const bool opened = sh.open_document ? sh.open_document(sh.hook_context, guide.c_str()) : desktop_open(guide);
    if (!opened)
        message_box(sh, ("The user guide could not be opened with xdg-open:\n" + guide).c_str(), "Open Manual", 1);
}
