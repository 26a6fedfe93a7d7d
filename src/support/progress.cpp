#include "support/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "support/log.h"

namespace {

int percent_of(double fraction)
{
    if (!(fraction > 0.0))
        return 0;
    return std::min(100, (int)(fraction * 100.0));
}

}  // namespace

std::string progress_bar_text(const std::string& label, int percent, int width)
{
    percent = std::clamp(percent, 0, 100);
    width = std::max(width, 1);
    const int filled = percent * width / 100;
    char number[8];
    snprintf(number, sizeof number, "%4d%%", percent);
    return label + " [" + std::string((size_t)filled, '#') + std::string((size_t)(width - filled), '.') + "]" + number;
}

void progress_begin(ProgressLine& p, const std::string& label)
{
    p.label = label;
    p.terminal = isatty(2) == 1;
    p.shown = -1;
    p.ended = false;
}

void progress_update(ProgressLine& p, double fraction)
{
    const int percent = percent_of(fraction);
    if (p.ended || !p.terminal || percent == p.shown)
        return;
    p.shown = percent;
    fprintf(stderr, "\r%s", progress_bar_text(p.label, percent, 30).c_str());
    fflush(stderr);
}

void progress_end(ProgressLine& p, double fraction)
{
    if (p.ended)
        return;
    p.ended = true;
    if (p.terminal && p.shown >= 0)
        fprintf(stderr, "\r%*s\r", (int)p.label.size() + 38, "");
    log_printf(stderr, "%s: %d%%\n", p.label.c_str(), percent_of(fraction));
}
