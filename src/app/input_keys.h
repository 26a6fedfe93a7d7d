// The keyboard map's helpers beyond the shared input entry points of input.h.
#pragma once
#include <SDL.h>

struct Shell;

// Every held key released at once: the window lost the keyboard focus, so the key-ups will go
// elsewhere and a key must not stay held.
void input_release_keys(Shell& sh);

// The menu entry a key press stands for (the entry whose request the key raises), or 0 when
// the key is not one of the menu's shortcuts. `key` is the keycode, `mod` the modifier state.
int key_menu_entry(SDL_Keycode key, Uint16 mod);
