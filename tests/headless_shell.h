// The desktop program run in-process without a screen: SDL's offscreen video and dummy audio
// drivers, a fresh data folder, questions answered and messages kept by the test, and the
// pointer set by the test before each frame.
#pragma once
#include <SDL.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/shell.h"
#include "support/log.h"
#include "support/paths.h"
#include "testlib.h"

struct HeadlessShell {
    TempDir data;
    std::unique_ptr<Shell> sh = std::make_unique<Shell>();
    bool started = false;
    bool answer_yes = false;                 // the answer to every question
    int questions = 0;                       // questions asked
    std::string last_question;               // title of the last question asked
    std::vector<std::string> messages;       // "title: text" of every message shown

    // `args`: the command line after the program's name; `window_size` "WxH" or "" for the
    // stored size.
    explicit HeadlessShell(std::vector<std::string> args = {}, const char* window_size = "")
    {
        setenv("SONOGRAPHICA_DATA_DIR", data.path.c_str(), 1);
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        if (*window_size)
            setenv("SONOGRAPHICA_WINDOW_SIZE", window_size, 1);
        else
            unsetenv("SONOGRAPHICA_WINDOW_SIZE");
        unsetenv("SONOGRAPHICA_SCRIPT");
        unsetenv("SONOGRAPHICA_EXIT_AFTER_FRAMES");
        data_folder_reset();
        sh->hook_context = this;
        sh->question = [](void* self, const char*, const char* title) {
            HeadlessShell& h = *(HeadlessShell*)self;
            h.questions++;
            h.last_question = title;
            return h.answer_yes;
        };
        sh->message = [](void* self, const char* text, const char* title, int) {
            ((HeadlessShell*)self)->messages.push_back(std::string(title) + ": " + text);
        };
        args.insert(args.begin(), "sonographica");
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        started = shell_startup(*sh, (int)argv.size(), argv.data());
    }
    ~HeadlessShell()
    {
        shell_shutdown(*sh);
        log_close();
        unsetenv("SONOGRAPHICA_WINDOW_SIZE");
    }
    HeadlessShell(const HeadlessShell&) = delete;
    HeadlessShell& operator=(const HeadlessShell&) = delete;

    // One frame with the pointer at (x, y) and the buttons (SDL button masks) held.
    void pointer(int x, int y, unsigned buttons)
    {
        sh->synthetic_pointer = true;
        sh->pointer_x = x;
        sh->pointer_y = y;
        sh->pointer_buttons = buttons;
        shell_frame(*sh);
    }
    void click(int x, int y)
    {
        pointer(x, y, SDL_BUTTON_LMASK);
        pointer(x, y, 0);
    }
    // Frames until `done` holds (at most 5,000).
    template <class F>
    bool frames_until(F done)
    {
        for (int i = 0; i < 5000; i++) {
            if (done())
                return true;
            shell_frame(*sh);
        }
        return done();
    }
    bool loaded() { return sh->app.project.width > 0 && !sh->app.load.in_flight; }
};
