// Progress of long work on standard error: a bar that redraws in place when standard error
// is a terminal, one final line otherwise (a log, a pipe, a test), so that neither a person
// nor a script gets a screenful of percentages.
#pragma once
#include <string>

struct ProgressLine {
    std::string label;
    bool terminal = false;
    int shown = -1;       // the last percentage drawn
    bool ended = false;
};

// Starts a progress line; `terminal` is whether standard error is one.
void progress_begin(ProgressLine& p, const std::string& label);
// The fraction done (0 to 1): redraws the bar when the whole percentage changed (terminal only).
void progress_update(ProgressLine& p, double fraction);
// Ends the line: "label: N%" on a line of its own, written to the log as well. A second call
// does nothing.
void progress_end(ProgressLine& p, double fraction);
// The bar as drawn: "label [#########...........]  45%", `width` cells between the brackets.
std::string progress_bar_text(const std::string& label, int percent, int width);
