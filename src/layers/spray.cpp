#include "layers/spray.h"

#include "support/log.h"

void apply_spray_point(App& app, float x, float y, float rx, float ry, float intensity, int harmonics, int erase, int type, int start) { if (start) log_printf(stderr, "The spray tools are not available in this build\n"); }
