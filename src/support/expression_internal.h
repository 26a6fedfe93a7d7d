// Internals of the expression evaluator shared by its rewriter, compiler and function table.
#pragma once
#include <cstdint>
#include <string>

// Appends a formatted line to an optional log buffer.
void expression_log(std::string* log, const char* format, ...) __attribute__((format(printf, 2, 3)));

struct ExpressionFunction {
    const char* name;
    const char* signature;  // "fdd", "fddd", "fdddd" or "fdi"
    double (*d1)(double);
    double (*d2)(double, double);
    double (*d3)(double, double, double);
    double (*i1)(int64_t);
};

extern const ExpressionFunction expression_functions[];
extern const int expression_function_total;

// Double to integer for integer arguments: truncates toward zero; NaN gives 0 and values
// beyond the integer range saturate, so no input is undefined behaviour.
int64_t expression_double_to_integer(double v);

// The special functions, visible for their tests.
double expression_erfinv(double x);
double expression_short_erf(double x, double r);
double expression_rangewrap(double x, double lo, double hi);
double expression_rand01(int64_t n);
