// sonographica-cli: runs the editor's work without a window.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "support/log.h"

static void print_usage(FILE* out)
{
    fprintf(out,
            "Usage: sonographica-cli [options] [FILE.sga]\n"
            "  --help         show this text\n"
            "  --version      print the program's name and version\n");
}

int main(int argc, char** argv)
{
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
        fprintf(stderr, "sonographica-cli: unknown option '%s'\n", a);
        print_usage(stderr);
        return 2;
    }
    print_usage(stdout);
    return 0;
}
