// Operations on the layer stack. Each one changes the project and marks the composite stale;
// recording the archive line that describes it is the caller's business (noted per function).
// Functions that change the table or a layer's pixels take the layer-table and image locks
// themselves, so the caller holds neither.
#pragma once
#include <string>
#include <vector>

#include "project/project.h"

// Room of the layer table; an insertion beyond it is refused with one log line.
constexpr int max_layers = 8192;

// "New layer \"%s\"": a zeroed image layer with the default settings directly above the
// current one, made current; the name counter gains 1.
bool new_layer(Project& p, const char* name);
// "New separator \"%s\"": a separator (no image) directly above the current layer, made current.
bool new_separator(Project& p, const char* name);
// "Duplicate layer": a deep copy of the current layer directly above it, made current. An image
// layer's copy is named "Layer %d" after the name counter, a separator's copy keeps the name.
bool duplicate_layer(Project& p);
// "Merge down layer": blends the current layer into the image layer below with its own mode
// and centre, then removes it. Needs a composite, an image on both layers and a layer below.
bool merge_down_layer(Project& p);
// "Merge all to new layer": a new top layer holding the composite (recomposited first when
// stale), made current.
bool merge_all_to_new_layer(Project& p, bool current_group_only);
// "Delete layer": removes the current layer; never the last one, and only with a composite.
bool delete_layer(Project& p);
// "Selected layer %s": `value` is the new index, or with `relative` (text beginning with "+" or
// "-") a change of the current index; the result is clamped to the table.
bool select_layer(Project& p, double value, bool relative);
// "Rename layer \"%s\"".
bool rename_layer(Project& p, const char* name);
// "Turn layer on" / "Turn layer off".
bool turn_layer(Project& p, bool on);
// "Blending %s" with the mode's keyword. Out-of-range modes are refused.
bool set_layer_blending(Project& p, int mode);
// "Blending %s" read from an archive: the mode whose keyword the text begins with; an unknown
// keyword leaves the mode and logs "Blending mode \"%s\" unknown for layer \"%s\"\n".
bool set_layer_blending_keyword(Project& p, const char* text);
// "Gamma %g": saves the undo copy, then raises every pixel to the power new / old gamma, so a
// series of gamma changes composes to the last value. Gammas that are not finite and positive
// are refused with one log line.
bool set_layer_gamma(Project& p, float gamma);
// "Multiply layer by %g": saves the undo copy, then scales every pixel. A factor that is not
// finite is refused with one log line.
bool multiply_layer(Project& p, float factor);
// "Central convolution point %s %s , %s %s" (the caller converts to whole pixels): the current
// layer's convolution centre, marked as set.
bool set_layer_centre(Project& p, int x, int y);

// The lines of the layer list, top of the stack first: "%s [%s]" with the name and the mode's
// label, "(off) %s [%s]" for a layer turned off itself, "(group-off) %s [%s]" for one hidden
// only by its group's separator.
std::vector<std::string> layer_list_labels(Project& p);
