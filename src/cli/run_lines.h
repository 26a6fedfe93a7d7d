// sonographica-cli FILE.sga / -e 'LINE': archive lines run through the editor's own
// interpreter, in the order given, without a window.
#pragma once
#include <string>
#include <vector>

struct CliRun {
    struct Item {
        bool is_file;
        std::string text;  // a path, or the text of -e (which may hold several lines)
        std::string where; // how messages name it: "-e #3", "--play"; a file names itself
    };
    std::vector<Item> items;
    bool record = false;   // --record: the history records what runs
    bool info = false;     // --info: print the project as JSON at the end
    bool play = false;     // --play: the last item opened the file to hear; play the project
    int live_synthesis = -1;  // --live-synthesis on|off: 1 or 0; -1 when not given (off)
    int synthesis = -1;       // --synthesis noise|live|lossless: the mode of sound saves and
                              // of --play whatever the lines switched; -1: the project's own
    bool keep_going = false;  // --keep-going: a failed line does not stop the run
    int e_count = 0;          // -e options seen, for naming them
};

// Takes the archive options at argv[i]: "-e LINE", "--record", "--info", "--play FILE" (an
// "Open" line for FILE, after which the project is played), "--live-synthesis on|off",
// "--synthesis noise|live|lossless", "--keep-going", or an argument not beginning with "-"
// (an archive file). Returns how many arguments it used, 0
// when argv[i] is none of these, -1 when an option lacks its value or has a wrong one.
int cli_run_option(int argc, char** argv, int i, CliRun& run);
// True when the options asked for lines to run, for --info or for --play.
bool cli_run_requested(const CliRun& run);
// Runs everything; returns the exit status. A line that cannot be carried out (see
// ArchiveState: a failed Open, Import or Save, a line no command matches, values that cannot
// be used) or an archive file that cannot be read is named on standard error with where it
// came from ("-e #3", "FILE.sga:12") and stops the run (--keep-going: the rest still runs);
// the status is then 1. Otherwise it is 0, or what --play ended with (1: nothing to play or
// no sound card, 130: stopped by Ctrl+C).
int cli_run(const CliRun& run);
