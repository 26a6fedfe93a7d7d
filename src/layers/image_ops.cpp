#include "layers/image_ops.h"

#include "support/log.h"

bool run_image_operation(App& app, const char* name) { log_printf(stderr, "Image operations are not available in this build\n"); return false; }
