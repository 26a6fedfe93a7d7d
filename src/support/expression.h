// Reading a number from text. Every numeric field goes through evaluate_expression, so the
// whole program agrees on what a valid number is.
//
// Interim version: a plain decimal number (leading and trailing blanks allowed); the full
// expression language replaces it without changing this interface.
#pragma once
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

// The value of `text`, or NaN when it is not a valid number. `log`, when given, receives
// one line explaining a refusal.
inline double evaluate_expression(const char* text, FILE* log = nullptr)
{
    if (!text)
        return NAN;
    char* end = nullptr;
    double v = strtod(text, &end);
    if (end == text) {
        if (log)
            fprintf(log, "Cannot evaluate \"%s\"\n", text);
        return NAN;
    }
    while (isspace((unsigned char)*end))
        end++;
    if (*end) {
        if (log)
            fprintf(log, "Unexpected \"%s\" in \"%s\"\n", end, text);
        return NAN;
    }
    return v;
}
