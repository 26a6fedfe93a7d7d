// Modal message boxes and the Yes/No question, owned by the main window.
#include <SDL.h>

#include "app/shell.h"
#include "support/log.h"

void message_box(Shell& sh, const char* text, const char* title, int warning)
{
    log_printf(stderr, "%s: %s\n", title, text);
    if (sh.message) {
        sh.message(sh.hook_context, text, title, warning);
        return;
    }
    SDL_ShowSimpleMessageBox(warning ? SDL_MESSAGEBOX_WARNING : SDL_MESSAGEBOX_ERROR, title, text, sh.window);
}

bool question_box(Shell& sh, const char* text, const char* title)
{
    if (sh.question)
        return sh.question(sh.hook_context, text, title);
    const SDL_MessageBoxButtonData buttons[] = {
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "No"},
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
    };
    SDL_MessageBoxData box = {SDL_MESSAGEBOX_WARNING, sh.window, title, text, 2, buttons, nullptr};
    int chosen = 0;
    if (sh.window)
        SDL_RaiseWindow(sh.window);
    if (SDL_ShowMessageBox(&box, &chosen) != 0) {
        log_printf(stderr, "SDL_ShowMessageBox failed: %s\n", SDL_GetError());
        return false;
    }
    return chosen == 1;
}
