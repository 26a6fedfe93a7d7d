#include "app/clipboard.h"

#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <string>

#include "media/image_write.h"
#include "support/log.h"

namespace {

bool on_path(const char* tool)
{
    std::string command = std::string("command -v ") + tool + " >/dev/null 2>&1";
    return system(command.c_str()) == 0;
}

}  // namespace

bool clipboard_copy_composite(Project& p)
{
    const char* tmp = getenv("TMPDIR");
    std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/sonographica-" + std::to_string(getpid()) + ".png";
    {
        std::lock_guard<std::mutex> lock(p.image_lock);
        if (!p.composite || p.composite_width <= 0 || p.composite_height <= 0) {
            log_printf(stderr, "Copy: there is no picture to copy\n");
            return false;
        }
        if (!export_image(p.composite, p.composite_width, p.composite_height, path))
            return false;
    }
    std::string command;
    if (getenv("WAYLAND_DISPLAY") && on_path("wl-copy"))
        command = "wl-copy --type image/png < '" + path + "'";
    else if (getenv("DISPLAY") && on_path("xclip"))
        command = "xclip -selection clipboard -t image/png -i '" + path + "' >/dev/null 2>&1";
    bool ok = false;
    if (command.empty())
        log_printf(stderr, "Copy: neither xclip nor wl-copy is installed, so the picture cannot reach the clipboard\n");
    else if (system(command.c_str()) != 0)
        log_printf(stderr, "Copy: the clipboard tool failed\n");
    else
        ok = true;
    unlink(path.c_str());
    return ok;
}
