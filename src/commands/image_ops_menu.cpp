// The two ways an image operation is asked for: an "Operation" line of the interpreter and the
// menu (or button bar), which records that line.
#include "commands/image_ops_menu.h"

#include "commands/app.h"
#include "layers/image_ops.h"
#include "commands/history.h"

bool run_image_operation(App& app, const char* name)
{
    int op = image_operation_index(name);
    return op >= 0 && apply_image_operation(app.project, op);
}

bool menu_image_operation(App& app, int op)
{
    Project& p = app.project;
    if (op < 0 || op >= image_operation_count || p.current_layer < 0 || p.current_layer >= (int)p.layers.size() ||
        !p.layers[p.current_layer].image)
        return false;
    // Normalisation goes through the interpreter, which takes the undo copy and performs it. A
    // history that cannot be written drops the line unexecuted; the user's action still happens.
    if (op == op_normalisation && record_line(app, record_action, 1, nullptr, "Operation normalisation"))
        return true;
    save_undo(p);
    if (!apply_image_operation(p, op))
        return false;
    if (op != op_normalisation)
        record_line(app, record_action, 0, nullptr, "Operation %s\n", image_operation_keywords[op]);
    return true;
}
