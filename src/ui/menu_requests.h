// Carrying out the requests the menus and the button bar raise, at the frame loop's place for
// requests: toggles, tools, history units, image operations and the layer commands.
#pragma once

struct App;
struct MenuBar;

// Carries out and clears every request of the menus that needs no window, recording the lines
// that replay it; rebuilds the layer list when a layer changed. Returns true when anything
// shown may have changed.
bool menu_carry_out_requests(App& app, MenuBar& bar);
