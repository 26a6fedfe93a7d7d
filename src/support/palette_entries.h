// Indexes into "gfx/palette.png", the interface's colour table: one row of
// palette_entry_count opaque colours, written at build time by tools/make_gfx.
#pragma once

enum palette_entry {
    palette_window_background = 0,  // behind everything: margins, axes area
    palette_panel = 1,              // face of the button bar
    palette_panel_edge = 2,         // one-pixel borders of panels and the bar's top edge
    palette_empty_rows = 3,         // rows of a separator layer in the image area (not black: not silence)
    palette_block_pending = 4,      // waveform strip columns of a synthesis block not yet computed
    palette_block_rendering = 5,    // waveform strip columns of the block being computed now
    palette_text = 6,               // labels, menu entries, knob values
    palette_text_dimmed = 7,        // greyed menu entries, scale labels, units
    palette_hover = 8,              // background of a control under the pointer
    palette_accent = 9,             // knob value arcs, active toggles, the play position
    palette_menu_background = 10,   // open menus
    palette_menu_highlight = 11,    // the menu entry under the pointer
    palette_check_mark = 12,        // check marks of menu entries
    palette_grid = 13,              // axis ticks, grid and overlay lines
    palette_selection = 14,         // rectangle tool outline and selections
    palette_warning = 15,           // errors and clipping marks
    palette_entry_count = 16
};
