// sonographica-cli: runs the editor's work without a window.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/probe.h"
#include "cli/run_lines.h"
#include "project/project.h"
#include "project/project_prefs.h"
#include "support/expression.h"
#include "support/log.h"
#include "support/paths.h"

static void print_usage(FILE* out)
{
    fprintf(out,
            "Usage: sonographica-cli [options] [FILE.sga]\n"
            "  --help         show this text\n"
            "  --version      print the program's name and version\n"
            "  --eval EXPR    print the value of an expression; exit 1 when it has none\n"
            "  --probe FILE   print what a sound file decodes to, as JSON\n"
            "  FILE.sga       run the lines of an archive file\n"
            "  -e LINE        run one archive line (repeatable; files and lines run in order)\n"
            "  --record       record what runs in the history (off by default)\n"
            "  --info         print the project as JSON after the lines ran\n"
            "  --play FILE    open FILE (sound, picture or archive) after the lines ran and play\n"
            "                 it once through the sound card in the current synthesis mode\n"
            "  --live-synthesis on|off\n"
            "                 live synthesis before the lines run (off when not given; the lines\n"
            "                 \"Synthesis live\" and \"Synthesis noise\" switch it on). Saved as\n"
            "                 sound, a project renders in lossless mode, else live, else noise\n"
            "  --synthesis noise|live|lossless\n"
            "                 the mode every sound save (and --play) renders in, whatever the\n"
            "                 lines switch; a live rendering goes through the volume limiter\n"
            "  --keep-going   run the remaining lines after one that failed (still exit 1)\n"
            "\n"
            "A line that cannot be carried out (a file that cannot be opened, imported or saved,\n"
            "values that cannot be used, a first word that is no command) is named on standard\n"
            "error with where it came from (\"-e #3\", \"FILE.sga:12\") and ends the run.\n"
            "Empty lines, \"//\" comments and archive headers are not failures.\n"
            "\n"
            "Exit status:\n"
            "  0  everything ran\n"
            "  1  a line or an archive file failed, --eval gave no number, --probe could not\n"
            "     read the file, or --play could not play\n"
            "  2  the command line itself is wrong (an unknown option, a missing value)\n"
            "  130  --play was stopped by Ctrl+C\n"
            "\n"
            "Files that \"Open\" and \"Import\" read:\n"
            "  sounds    WAV (integer, float, A-law, u-law, IMA and MS ADPCM, GSM 6.10), RF64,\n"
            "            Wave64, AIFF and AIFF-C, AU/SND, CAF, VOC, FLAC, Ogg Vorbis, Opus, MP3,\n"
            "            and the other formats of libsndfile (IRCAM, PAF, SVX, NIST, SD2, ...)\n"
            "  pictures  PNG, JPEG, GIF (first frame), WebP, OpenEXR, TIFF, FITS, BMP, TGA,\n"
            "            PSD, HDR, PNM\n"
            "\"Save\" writes sounds as WAV or AIFF-C (32-bit float) or FLAC (24-bit), pictures as\n"
            "TIFF or OpenEXR (32-bit float) or as PNG, BMP or JPEG (8-bit grey).\n");
}

// Prints the value, or "nan" when the expression has none. The highlight marks of the
// diagnostics are for the program's own text renderer; a terminal gets the plain text.
static int eval_command(const char* expression)
{
    std::string log;
    double v = evaluate_expression(expression, &log);
    std::string plain;
    for (size_t k = 0; k < log.size(); k++) {
        if (log.compare(k, 3, "\xEE\x80\x83") == 0 || log.compare(k, 3, "\xEE\x80\x89") == 0) {
            k += 2;
            continue;
        }
        plain += log[k];
    }
    if (!plain.empty())
        log_printf(stderr, "%s", plain.c_str());
    if (std::isnan(v)) {
        printf("nan\n");
        return 1;
    }
    printf("%.17g\n", v);
    return 0;
}

// The project the command line works on, with the user's stored settings (sample rate,
// analysis defaults, history units). Reading them creates "config.txt" on a first run.
static Project project;
static PrefStartupValues startup_values;

static void load_preferences()
{
    load_project_preferences(project, pref_main_store(), data_folder(), &startup_values);
}

int main(int argc, char** argv)
{
    CliRun run;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (!strcmp(a, "--help") || !strcmp(a, "-h")) {
            print_usage(stdout);
            return 0;
        }
        if (!strcmp(a, "--version")) {
            printf("%s\n", SONOGRAPHICA_TITLE);
            return 0;
        }
        if (!strcmp(a, "--eval")) {
            if (i + 1 >= argc) {
                fprintf(stderr, "sonographica-cli: option '--eval' needs an expression\n");
                print_usage(stderr);
                return 2;
            }
            load_preferences();
            return eval_command(argv[i + 1]);
        }
        if (!strcmp(a, "--probe")) {
            if (i + 1 >= argc) {
                fprintf(stderr, "sonographica-cli: option '--probe' needs a file name\n");
                print_usage(stderr);
                return 2;
            }
            return probe_sound_file(argv[i + 1]);
        }
        int used = cli_run_option(argc, argv, i, run);
        if (used < 0) {
            print_usage(stderr);
            return 2;
        }
        if (used > 0) {
            i += used - 1;
            continue;
        }
        fprintf(stderr, "sonographica-cli: unknown option '%s'\n", a);
        print_usage(stderr);
        return 2;
    }
    if (cli_run_requested(run))
        return cli_run(run);
    print_usage(stdout);
    return 0;
}
