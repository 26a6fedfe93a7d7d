// Whole-layer image operations, named by their archive keyword ("invert", "1/x", ...).
#pragma once

struct App;

// Runs the named operation on the current layer; an unknown name changes nothing.
// Returns true when an operation ran.
bool run_image_operation(App& app, const char* name);
