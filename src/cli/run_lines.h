// sonographica-cli FILE.sga / -e 'LINE': archive lines run through the editor's own
// interpreter, in the order given, without a window.
#pragma once
#include <string>
#include <vector>

struct CliRun {
    struct Item {
        bool is_file;
        std::string text;  // a path, or the text of -e (which may hold several lines)
    };
    std::vector<Item> items;
    bool record = false;   // --record: the history records what runs
    bool info = false;     // --info: print the project as JSON at the end
    bool play = false;     // --play: the last item opened the file to hear; play the project
    int live_synthesis = -1;  // --live-synthesis on|off: 1 or 0; -1 when not given (off)
};

// Takes the archive options at argv[i]: "-e LINE", "--record", "--info", "--play FILE" (an
// "Open" line for FILE, after which the project is played), "--live-synthesis on|off", or an
// argument not beginning with "-" (an archive file). Returns how many arguments it used, 0
// when argv[i] is none of these, -1 when an option lacks its value or has a wrong one.
int cli_run_option(int argc, char** argv, int i, CliRun& run);
// True when the options asked for lines to run, for --info or for --play.
bool cli_run_requested(const CliRun& run);
// Runs everything; returns the exit status (1 when an archive file could not be read).
int cli_run(const CliRun& run);
