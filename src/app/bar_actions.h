// What the button bar's controls do: the buttons' actions, through the same requests as the
// menu entries, and the knobs' values applied to the program.
#pragma once

struct Shell;

// The action of a button's slot: raises its request (Play, Open, Save, Quit, a tool, Flip,
// Help, Invert, Mask invert, Harmonics, Magnet), flips Vision mode, or toggles lossless mode.
void bar_button_action(Shell& sh, int slot);
// Lossless synthesis on or off. Turning it on needs a loaded sound (a message box otherwise,
// and it stays off) and performs Default Values; either way the synthesis kind is recorded.
void lossless_toggle(Shell& sh);
// While a knob turns: the values that follow at once (volume, spray width, tool intensity).
void knob_live(Shell& sh, int knob);
// When a knob is released: its value applied to the project and recorded as the archive line
// that does the same on replay (frequency range, time resolution, frequency scale, gamma,
// layer intensity), or stored as a preference (spray width, tool intensity).
void knob_release(Shell& sh, int knob);
