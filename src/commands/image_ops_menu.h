// Whole-layer image operations as the menus and the interpreter run them.
#pragma once

struct App;

// The interpreter's "Operation %s" after it took the undo copy: performs the named operation,
// reading "fill pink" as "fill brown" in archives of version 1.1 and older. An unknown name
// changes nothing. Returns true when the layer changed.
bool run_image_operation(App& app, const char* name);

// The menu path: on a separator nothing happens and nothing is recorded. Otherwise the undo
// copy is taken, the operation performed and "Operation %s\n" recorded as an action line that
// is not executed again; "normalisation" is instead recorded as "Operation normalisation" and
// executed through the interpreter, which performs it. Returns true when the layer changed.
bool menu_image_operation(App& app, int op);
