// The menu entries that reach the desktop (manual, data folder, download page) and the menus'
// requests carried out in the desktop program's frame.
#include "app/menu_shell.h"

#include <spawn.h>
#include <sys/wait.h>

#include <string>

#include "app/shell.h"
#include "support/log.h"
#include "support/paths.h"
#include "ui/menu_requests.h"

extern char** environ;

#ifndef SONOGRAPHICA_UPDATES_URL
#define SONOGRAPHICA_UPDATES_URL ""
#endif

namespace {

int take(int& flag)
{
    int v = flag;
    flag = 0;
    return v;
}


// Hands a file, folder or address to the desktop's default handler. xdg-open returns at once
// after starting the viewer, so waiting for it does not block the frame for long.
bool desktop_open(const std::string& target)
{
    const char* argv[] = {"xdg-open", target.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, (char* const*)argv, environ) != 0) {
        log_printf(stderr, "Couldn't run xdg-open to open %s\n", target.c_str());
        return false;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        log_printf(stderr, "xdg-open couldn't open %s\n", target.c_str());
        return false;
    }
    return true;
}

}  // namespace

const char* menu_updates_address() { return SONOGRAPHICA_UPDATES_URL; }

void shell_menu_requests(Shell& sh)
{
    AppRequests& r = sh.app.requests;
    if (take(r.open_manual)) {
        const std::string manual = path_join(executable_folder(), "Sonographica User Guide.pdf");
        if (!file_exists(manual)) {
            log_printf(stderr, "File %s couldn't be opened\n", manual.c_str());
            message_box(sh, ("The user guide was not found:\n" + manual).c_str(), "Open Manual", 1);
        } else if (!desktop_open(manual)) {
            message_box(sh, ("The user guide could not be opened with xdg-open:\n" + manual).c_str(), "Open Manual", 1);
        }
    }
    if (take(r.open_files_folder) && !desktop_open(data_folder()))
        message_box(sh, ("The folder could not be opened with xdg-open:\n" + data_folder()).c_str(),
                    "Open Sonographica Files Folder", 1);
    if (take(r.check_updates) && *menu_updates_address() && !desktop_open(menu_updates_address()))
        message_box(sh, "The download page could not be opened with xdg-open.", "Check for Updates Online", 1);
    if (menu_carry_out_requests(sh.app, sh.menus)) {
        sh.interface_changed = true;
        sh.image_changed = true;
        sh.display_stale = true;
    }
}
