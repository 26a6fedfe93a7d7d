// The menu bar: nine menus of entries, each entry raising one request of the frame loop, the
// layer list at the bottom of the Layers menu, and check marks derived from the App record.
#pragma once
#include <string>
#include <vector>

struct App;
struct Font;

enum : int {
    menu_file,
    menu_edit,
    menu_options,
    menu_history,
    menu_view,
    menu_tools,
    menu_operations,
    menu_layers,
    menu_help,
    menu_count,
};

// Identifiers of the layer list: entry k (0 for the topmost layer) is layer_entry_first + k.
constexpr int no_layer_entry = 10000;
constexpr int layer_entry_first = 10001;

struct MenuEntry {
    std::string label;            // Windows-1252 bytes; "-" is a separator
    const char* shortcut = "";    // shown at the right; "" for none
    int id = 0;
    bool greyed = false;
    bool checked = false;
    int x = 0, y = 0, width = 0, height = 0;  // set when the menu is laid out for drawing
};

struct Menu {
    const char* title = "";       // "" hides the menu (the History menu unless enabled)
    int x = 0;                    // of the title in the bar
    int width = 0;                // of the title's text in the 16-pixel font
    std::vector<MenuEntry> entries;
};

struct MenuBar {
    Menu menus[menu_count];
    int layer_list_start = 0;     // index in the Layers menu of the first layer-list entry
    // Pointer interaction (modes 8 and 9): the open menu and its highlighted entry, -1 for none.
    int open = -1;
    int highlighted = -1;
    bool pressed = false;         // the button was down in the previous frame
    bool changed = false;         // the open menu or its highlight changed: redraw
    int scale = 1;                // interface scale: logical sizes are multiplied by it
    int open_width = 0, open_height = 0;  // of the open menu's laid-out columns
    int laid_out = -1, laid_out_height = -1;  // the menu and window height of that layout
};

// The nine menus with every entry, all unchecked but "Cursor" and "Addition". The History
// menu's title is "" unless `history_menu`; "Check for Updates Online..." is greyed when
// `updates_address` is empty. `font16` (may be null) sizes the titles in the bar.
void menu_build(MenuBar& bar, const Font* font16, bool history_menu, const char* updates_address);
// Title positions: the first at 0, each next at the previous x plus its text width plus 12;
// hidden titles take no room.
void menu_layout_titles(MenuBar& bar, const Font* font16);

// The entry bearing `label`, searched menu by menu; null when none does.
MenuEntry* menu_find(MenuBar& bar, const char* label);
MenuEntry* menu_find_id(MenuBar& bar, int id);
// Sets the check mark of the entry with that label; an unknown label logs
// "Menu entry \"%s\" not found.\n" and changes nothing.
void menu_set_checked(MenuBar& bar, const char* label, bool state);

// Every check mark from the state it shows: toggles, tool, blending of the current layer,
// history units and the current layer's entry of the layer list.
void menu_sync_checks(MenuBar& bar, const App& app);
// The History menu's three unit groups and the relative-selection toggle.
void unit_menu_refresh(MenuBar& bar, const App& app);
// Rebuilds the layer list from the project: "%s [%s]" per layer, topmost first, or the greyed
// "No Layer" when there is none; then the check marks of the Layers menu.
void layer_list_refresh(MenuBar& bar, App& app);

// Raises the request of the entry with that identifier. Unknown and greyed entries do nothing
// and return false.
bool menu_action(MenuBar& bar, App& app, int id);
