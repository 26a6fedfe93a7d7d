#include "app/bar_input.h"
#include "app/input.h"
#include "app/shell.h"

void input_cancel(Shell& sh)
{
    if (sh.input.mode == pointer_control)
        bar_cancel(sh);
    sh.input.mode = pointer_idle;
    sh.input.control = -1;
    sh.interface_changed = true;
}
