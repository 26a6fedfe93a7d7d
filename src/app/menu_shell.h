// The menus' requests in the desktop program.
#pragma once

#include <string>

struct Shell;

// Hands a file, folder or address to the desktop's default handler (xdg-open); false, with a
// log line, when it could not.
bool desktop_open(const std::string& target);

// Carries out the menus' requests (menu_carry_out_requests) and those that reach the desktop:
// the manual and the data folder through xdg-open, the download page; marks what must be redrawn.
void shell_menu_requests(Shell& sh);
// The download page of "Check for Updates Online...", set when building; "" for none.
const char* menu_updates_address();
// The knobs showing the project's synthesis parameters and the preferences' tool settings.
void knobs_from_project(Shell& sh);
// "Default Values": the analysis knobs from the preferences, gamma 1, base 2; the project
// follows, each changed parameter recorded as its archive line.
void default_values(Shell& sh);
// The pointer on the menu bar and in the open menu, once per frame before the requests: a
// released entry raises its request; opening a menu brings its check marks (and the layer
// list) up to date.
void shell_menu_pointer(Shell& sh);
// The titles and the open menu over the rest of the screen.
void draw_menus(Shell& sh);
struct App;
struct KnobContext;
// What the knobs' value functions read from the project (analysis maximum, sample rate, width).
KnobContext knob_context(const Shell& sh);
// Records the line as an action and executes it (executes it anyway when it cannot be recorded).
void run_line(App& app, const std::string& text);
