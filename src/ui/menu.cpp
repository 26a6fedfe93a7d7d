#include "ui/menu.h"

#include <algorithm>
#include <cstring>

#include "commands/app.h"
#include "layers/blend.h"
#include "layers/image_ops.h"
#include "layers/stack.h"
#include "support/font.h"
#include "support/log.h"

namespace {

struct EntryDef {
    int id;
    const char* label;
    const char* shortcut;
};

// A separator is written as id 0.
constexpr EntryDef file_entries[] = {
    {1010, "New...", ""}, {1020, "Open...", "O"}, {1040, "Resume Last Session", ""}, {1050, "Close", ""},
    {0, "-", ""}, {1060, "Save...", "S"}, {1070, "Reload", "R"}, {0, "-", ""}, {1080, "Quit", "Alt+F4"},
};
constexpr EntryDef edit_entries[] = {
    {2010, "Undo", "Ctrl+Z / U"}, {0, "-", ""}, {2020, "Copy", "C"}, {2030, "Paste", ""}, {0, "-", ""},
    {2040, "Erase Mask", "E"}, {2050, "Default Values", "D"}, {0, "-", ""}, {2060, "Extend/cut duration...", ""},
};
constexpr EntryDef options_entries[] = {
    {3010, "Loop Playback", ""},
    {3020, "Pause After Current Loop", "Shift+Space"},
    {0, "-", ""},
    {3030, "Live Synthesis", ""},
    {3040, "Save Live Synthesis Output to File...", ""},
    {3050, "Suspend Output to File", ""},
    {0, "-", ""},
    {3060, "Unnormalised Output", ""},
    {3072, "Mix Channel Files to Stereo...", ""},
    {0, "-", ""},
    {3080, "Suspend Processing", "K"},
    {3090, "Long Block Duration", ""},
    {3100, "Constant Time Resolution Analysis", ""},
    {0, "-", ""},
    {3110, "Linear Knob Control", ""},
    {0, "-", ""},
    {3120, "Audio Output Device...", ""},
    {3130, "Volume Limiter...", ""},
};
constexpr EntryDef history_entries[] = {
    {4010, "Time in pixels", ""},
    {4011, "Time in percents", ""},
    {4012, "Time in seconds", ""},
    {0, "-", ""},
    {4020, "Frequency positions in pixels", ""},
    {4021, "Frequency positions in percents", ""},
    {4022, "Frequency positions in Hertz", ""},
    {4023, "Frequency positions in notes", ""},
    {0, "-", ""},
    {4030, "Frequency dimensions in pixels", ""},
    {4031, "Frequency dimensions in percents", ""},
    {4032, "Frequency dimensions in semitones", ""},
    {0, "-", ""},
    {4040, "Relative selection index", ""},
};
constexpr EntryDef view_entries[] = {
    {5010, "Force Fast Image Display", ""}, {5020, "Force Smooth Image Display", ""}, {0, "-", ""},
    {5030, "4/4 Rhythm Overlay", ""},       {5040, "Semitone Overlay", ""},
};
constexpr EntryDef tools_entries[] = {
    {6010, "Cursor", ""},         {6020, "Move Tool", ""},          {0, "-", ""},
    {6030, "Rectangle Tool", ""}, {0, "-", ""},                     {6040, "Dark Spray", ""},
    {6050, "White Paint Spray", ""}, {6060, "Brighten Spray", ""},  {6070, "Smart Erase", ""},
    {0, "-", ""},                 {6080, "Harmonics Modifier", ""}, {6090, "Magnet Modifier", ""},
};
constexpr EntryDef operations_entries[] = {
    {7010, "Invert", ""},
    {7020, "Mask Invert", ""},
    {0, "-", ""},
    {7030, "Horizontal Flip", ""},
    {7040, "Vertical Flip", ""},
    {7050, "Rotate Clockwise (90\xB0)", ""},
    {7060, "Rotate 180\xB0", ""},
    {7070, "Rotate Counter-Clockwise (270\xB0)", ""},
    {0, "-", ""},
    {7080, "Horizontal Average", ""},
    {7090, "Vertical Average", ""},
    {7100, "Horizontal Curves", ""},
    {7110, "Vertical Curves", ""},
    {7120, "Fill from Maxima to Left", ""},
    {7130, "Fill from Maxima to Bottom", ""},
    {0, "-", ""},
    {7140, "Normalise to 1.0", ""},
    {7150, "Set Pixel Sum to 1.0", ""},
    {7160, "Horizontal Normalisation", ""},
    {7170, "Vertical Normalisation", ""},
    {0, "-", ""},
    {7180, "1 / x", ""},
    {7190, "Square", ""},
    {7200, "Square Root", ""},
    {0, "-", ""},
    {7210, "Fill with White Noise", ""},
    {7220, "Fill with Pink Noise", ""},
    {7230, "Fill with Brown Noise", ""},
    {0, "-", ""},
    {7240, "Group to Nearest Semitone", ""},
};
constexpr EntryDef layers_entries[] = {
    {8010, "New Layer", "N"},
    {8020, "Duplicate Layer", ""},
    {8030, "Add Separator", ""},
    {8040, "Merge Down", "J"},
    {8050, "Delete Layer", "Del"},
    {8060, "Merge All to New Layer", ""},
    {8070, "Move Layer Up", ""},
    {8080, "Move Layer Down", ""},
    {0, "-", ""},
    {8090, "View Current Layer Only", "V"},
    {8100, "View Current Group Only", "Shift+V"},
    {8110, "Set Central Convolution Point", ""},
    {8120, "Turn Off Layer", "T"},
    {0, "-", ""},
    {8130, "Addition", ""},
    {8140, "Multiplication", ""},
    {8150, "Division", ""},
    {8160, "Division (Reverse Order)", ""},
    {8170, "Subtraction", ""},
    {8180, "Subtraction (Reverse Order)", ""},
    {8190, "Difference", ""},
    {8200, "Minimum", ""},
    {8210, "Maximum", ""},
    {0, "-", ""},
    {8220, "Vertical Propagation", ""},
    {8230, "Horizontal Propagation", ""},
    {8240, "Horizontal Propagation (Looped)", ""},
    {8250, "Convolution", ""},
    {8260, "Convolution (Looped)", ""},
    {0, "-", ""},
};
constexpr EntryDef help_entries[] = {
    {9010, "Open Manual...", ""}, {0, "-", ""}, {9015, "About...", ""}, {9020, "Check for Updates Online...", ""},
    {0, "-", ""}, {9030, "Open Sonographica Files Folder", ""},
};

// The blending entries of the Layers menu, in mode order (identifiers 8130 + 10 × mode).
constexpr int blending_first_id = 8130;
// The Operations entries in menu order with their image operations.
struct OperationId {
    int id;
    int op;
};
constexpr OperationId operation_ids[] = {
    {7010, op_invert},           {7020, op_mask_invert},           {7030, op_horizontal_flip},
    {7040, op_vertical_flip},    {7050, op_rotation_90},           {7060, op_rotation_180},
    {7070, op_rotation_270},     {7080, op_horizontal_average},    {7090, op_vertical_average},
    {7100, op_horizontal_curves}, {7110, op_vertical_curves},      {7120, op_fill_to_left},
    {7130, op_fill_to_bottom},   {7140, op_normalisation},         {7150, op_set_sum_to_1},
    {7160, op_horizontal_normalisation}, {7170, op_vertical_normalisation}, {7180, op_reciprocal},
    {7190, op_square},           {7200, op_square_root},           {7210, op_fill_white},
    {7220, op_fill_pink},        {7230, op_fill_brown},            {7240, op_group_to_semitone},
};

// The tools of the Tools menu and the Layers menu's convolution point.
struct ToolId {
    int id;
    int tool;
};
constexpr ToolId tool_ids[] = {
    {6010, tool_cursor},         {6020, tool_move},         {6030, tool_rectangle},
    {6040, tool_dark_spray},     {6050, tool_white_paint_spray}, {6060, tool_brighten_spray},
    {6070, tool_smart_erase},    {8110, tool_convolution_centre},
};

// The History menu's unit entries: which unit list and which unit code each one sets.
struct UnitId {
    int id;
    int which;  // 0 time, 1 frequency position, 2 frequency dimensions
    int unit;
};
constexpr UnitId unit_ids[] = {
    {4010, 0, 1}, {4011, 0, 2}, {4012, 0, 3}, {4020, 1, 1}, {4021, 1, 2},
    {4022, 1, 4}, {4023, 1, 6}, {4030, 2, 1}, {4031, 2, 2}, {4032, 2, 5},
};

template <size_t N>
void fill(Menu& m, const char* title, const EntryDef (&defs)[N])
{
    m.title = title;
    m.entries.clear();
    m.entries.reserve(N);
    for (const EntryDef& d : defs) {
        MenuEntry e;
        e.label = d.label;
        e.shortcut = d.shortcut;
        e.id = d.id;
        m.entries.push_back(std::move(e));
    }
}

void set_check(MenuBar& bar, int id, bool state)
{
    if (MenuEntry* e = menu_find_id(bar, id))
        e->checked = state;
}

bool layer_list_usable(const Project& p) { return p.width > 0 && p.height > 0 && !p.layers.empty(); }

}  // namespace

void menu_build(MenuBar& bar, const Font* font16, bool history_menu, const char* updates_address)
{
    fill(bar.menus[menu_file], "File", file_entries);
    fill(bar.menus[menu_edit], "Edit", edit_entries);
    fill(bar.menus[menu_options], "Options", options_entries);
    fill(bar.menus[menu_history], history_menu ? "History" : "", history_entries);
    fill(bar.menus[menu_view], "View", view_entries);
    fill(bar.menus[menu_tools], "Tools", tools_entries);
    fill(bar.menus[menu_operations], "Operations", operations_entries);
    fill(bar.menus[menu_layers], "Layers", layers_entries);
    fill(bar.menus[menu_help], "Help", help_entries);
    bar.layer_list_start = (int)bar.menus[menu_layers].entries.size();
    MenuEntry none;
    none.label = "No Layer";
    none.id = no_layer_entry;
    none.greyed = true;
    bar.menus[menu_layers].entries.push_back(std::move(none));
    for (int id : {1050, 2030})
        menu_find_id(bar, id)->greyed = true;
    menu_find_id(bar, 9020)->greyed = !updates_address || !*updates_address;
    menu_find_id(bar, 6010)->checked = true;
    menu_find_id(bar, 8130)->checked = true;
    bar.open = bar.highlighted = bar.laid_out = -1;
    menu_layout_titles(bar, font16);
}

void menu_layout_titles(MenuBar& bar, const Font* font16)
{
    int x = 0;
    for (Menu& m : bar.menus) {
        m.x = x;
        m.width = 0;
        if (!*m.title)
            continue;
        m.width = font16 && font_ok(*font16) ? text_width(*font16, m.title) : 0;
        x += m.width + 12 * bar.scale;
    }
}

MenuEntry* menu_find(MenuBar& bar, const char* label)
{
    for (Menu& m : bar.menus)
        for (MenuEntry& e : m.entries)
            if (e.label == label)
                return &e;
    return nullptr;
}

MenuEntry* menu_find_id(MenuBar& bar, int id)
{
    if (id >= no_layer_entry) {
        // The layer list sits in order after the fixed entries: no search through 8,192 layers.
        std::vector<MenuEntry>& list = bar.menus[menu_layers].entries;
        size_t i = (size_t)bar.layer_list_start + (size_t)(id == no_layer_entry ? 0 : id - layer_entry_first);
        return i < list.size() && list[i].id == id ? &list[i] : nullptr;
    }
    // The fixed entries only: the layer list is never searched through.
    for (int i = 0; i < menu_count; i++) {
        std::vector<MenuEntry>& entries = bar.menus[i].entries;
        const size_t n = i == menu_layers ? std::min(entries.size(), (size_t)bar.layer_list_start) : entries.size();
        for (size_t k = 0; k < n; k++)
            if (entries[k].id == id && id != 0)
                return &entries[k];
    }
    return nullptr;
}

void menu_set_checked(MenuBar& bar, const char* label, bool state)
{
    MenuEntry* e = menu_find(bar, label);
    if (!e) {
        log_printf(stderr, "Menu entry \"%s\" not found.\n", label);
        return;
    }
    e->checked = state;
}

void unit_menu_refresh(MenuBar& bar, const App& app)
{
    const int current[3] = {app.units.time, app.units.frequency_position, app.units.frequency_dimensions};
    for (const UnitId& u : unit_ids)
        set_check(bar, u.id, current[u.which] == u.unit);
    set_check(bar, 4040, app.units.relative_selection);
}

void menu_sync_checks(MenuBar& bar, const App& app)
{
    const Project& p = app.project;
    const PlaybackControls& c = app.playback.controls;
    set_check(bar, 3010, p.loop_playback);
    set_check(bar, 3020, c.pause_after_loop.load());
    set_check(bar, 3030, p.live_synthesis.load());
    set_check(bar, 3050, app.toggles.live_output_suspended);
    set_check(bar, 3060, app.toggles.unnormalised_output);
    set_check(bar, 3080, c.suspend.load());
    set_check(bar, 3090, p.long_blocks);
    set_check(bar, 3100, !(p.min_pitch_resolution > 0.0f));
    set_check(bar, 3110, app.toggles.linear_knob_control);
    unit_menu_refresh(bar, app);
    set_check(bar, 5010, app.display.force_fast_display);
    set_check(bar, 5020, app.display.force_smooth_display);
    set_check(bar, 5030, app.display.rhythm_overlay);
    set_check(bar, 5040, app.display.semitone_overlay);
    for (const ToolId& t : tool_ids)
        set_check(bar, t.id, app.tool == t.tool);
    set_check(bar, 6080, app.tools.harmonics_modifier);
    set_check(bar, 6090, app.tools.magnet_modifier);
    set_check(bar, 8090, app.view_current_layer_only);
    set_check(bar, 8100, app.view_current_group_only);
    const bool have = p.current_layer >= 0 && p.current_layer < (int)p.layers.size();
    set_check(bar, 8120, have && p.layers[p.current_layer].off);
    const int mode = have ? p.layers[p.current_layer].blending : blend_addition;
    for (int m = 0; m < blend_mode_count; m++)
        set_check(bar, blending_first_id + 10 * m, m == mode);
    // The layer list: the current layer's entry only.
    std::vector<MenuEntry>& list = bar.menus[menu_layers].entries;
    const int n = (int)list.size() - bar.layer_list_start;
    const int current_entry = have ? (int)p.layers.size() - 1 - p.current_layer : -1;
    for (int k = 0; k < n; k++) {
        MenuEntry& e = list[(size_t)bar.layer_list_start + (size_t)k];
        e.checked = e.id != no_layer_entry && k == current_entry;
    }
}

void layer_list_refresh(MenuBar& bar, App& app)
{
    std::vector<MenuEntry>& list = bar.menus[menu_layers].entries;
    list.resize((size_t)bar.layer_list_start);
    bar.laid_out = -1;
    Project& p = app.project;
    if (!layer_list_usable(p)) {
        MenuEntry none;
        none.label = "No Layer";
        none.id = no_layer_entry;
        none.greyed = true;
        list.push_back(std::move(none));
    } else {
        std::vector<std::string> labels = layer_list_labels(p);
        list.reserve(list.size() + labels.size());
        for (size_t k = 0; k < labels.size(); k++) {
            MenuEntry e;
            e.label = std::move(labels[k]);
            e.id = layer_entry_first + (int)k;
            list.push_back(std::move(e));
        }
    }
    menu_sync_checks(bar, app);
}

bool menu_action(MenuBar& bar, App& app, int id)
{
    MenuEntry* e = menu_find_id(bar, id);
    if (!e || e->greyed || e->label == "-")
        return false;
    AppRequests& r = app.requests;
    if (id >= layer_entry_first) {
        r.select_layer = id - layer_entry_first + 1;
        return true;
    }
    for (const OperationId& o : operation_ids)
        if (o.id == id) {
            r.image_operation = o.op + 1;
            return true;
        }
    for (const ToolId& t : tool_ids)
        if (t.id == id) {
            r.tool = t.tool + 1;
            return true;
        }
    if (id >= 4010 && id <= 4040) {
        r.history_unit = id;
        return true;
    }
    if (id >= blending_first_id && id < blending_first_id + 10 * blend_mode_count) {
        r.blending = (id - blending_first_id) / 10 + 1;
        return true;
    }
    int* flag = nullptr;
    switch (id) {
    case 1010: flag = &r.new_project; break;
    case 1020: flag = &r.open_file; break;
    case 1040: flag = &r.resume_last_session; break;
    case 1060: flag = &r.save; break;
    case 1070: flag = &r.reload; break;
    case 1080: flag = &r.quit; break;
    case 2010: flag = &r.undo; break;
    case 2020: flag = &r.copy; break;
    case 2040: flag = &r.erase_mask; break;
    case 2050: flag = &r.default_values; break;
    case 2060: flag = &r.extend_cut; break;
    case 3010: flag = &r.loop_playback; break;
    case 3020: flag = &r.pause_after_loop; break;
    case 3030: flag = &r.live_synthesis; break;
    case 3040: flag = &r.save_live_output; break;
    case 3050: flag = &r.suspend_live_output; break;
    case 3060: flag = &r.unnormalised_output; break;
    case 3072: flag = &r.mix_channels; break;
    case 3080: flag = &r.suspend_processing; break;
    case 3090: flag = &r.long_blocks; break;
    case 3100: flag = &r.constant_time_resolution; break;
    case 3110: flag = &r.linear_knob_control; break;
    case 3120: flag = &r.audio_output; break;
    case 3130: flag = &r.volume_limiter; break;
    case 5010: flag = &r.force_fast_display; break;
    case 5020: flag = &r.force_smooth_display; break;
    case 5030: flag = &r.rhythm_overlay; break;
    case 5040: flag = &r.semitone_overlay; break;
    case 6080: flag = &r.harmonics_modifier; break;
    case 6090: flag = &r.magnet_modifier; break;
    case 8010: flag = &r.new_layer; break;
    case 8020: flag = &r.duplicate_layer; break;
    case 8030: flag = &r.add_separator; break;
    case 8040: flag = &r.merge_down; break;
    case 8050: flag = &r.delete_layer; break;
    case 8060: flag = &r.merge_all; break;
    case 8070: flag = &r.move_layer_up; break;
    case 8080: flag = &r.move_layer_down; break;
    case 8090: flag = &r.view_current_layer_only; break;
    case 8100: flag = &r.view_current_group_only; break;
    case 8120: flag = &r.turn_off_layer; break;
    case 9010: flag = &r.open_manual; break;
    case 9015: flag = &r.about; break;
    case 9020: flag = &r.check_updates; break;
    case 9030: flag = &r.open_files_folder; break;
    default: return false;
    }
    *flag = 1;
    return true;
}
