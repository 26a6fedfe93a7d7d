// Reading a number from text. Every numeric field goes through evaluate_expression, so the
// whole program agrees on what a valid number is.
//
// Interim version: a plain decimal number (leading and trailing blanks allowed); the full
// expression language replaces it without changing this interface.
#pragma once
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

// The value of `text`, or NaN when it is not a valid number. `log`, when given, receives
// one line explaining a refusal.
inline double evaluate_expression(const char* text, std::string* log = nullptr)
{
    if (!text)
        return NAN;
    char* end = nullptr;
    double v = strtod(text, &end);
    while (end != text && isspace((unsigned char)*end))
        end++;
    if (end == text || *end) {
        if (log)
            *log += std::string("Cannot evaluate \"") + text + "\"\n";
        return NAN;
    }
    return v;
}
