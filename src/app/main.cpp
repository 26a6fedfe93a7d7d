// The desktop program: one window, one frame loop.
#include "app/shell.h"

int main(int argc, char** argv) { return shell_main(argc, argv); }
