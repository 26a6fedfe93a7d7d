#include "media/import.h"

#include "app/app.h"
#include "support/log.h"

void start_load(App& app) { log_printf(stderr, "Opening and importing files are not available in this build\n"); }

void complete_load(App& app) {}
