// Copy: the composite as a picture on the desktop's clipboard.
#pragma once
#include "project/project.h"

// Writes the composite as a grey PNG into the temporary folder and hands it to xclip (X11) or
// wl-copy (Wayland) as "image/png", then deletes the file. Without either tool, or without a
// picture, one log line says why. Returns true when the clipboard took the picture.
bool clipboard_copy_composite(Project& p);
