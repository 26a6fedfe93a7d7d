// The 43 functions an expression can call.
#include "support/expression_internal.h"

#include <cmath>
#include <cstring>

#include "support/expression.h"

static const double pi_value = 3.141592653589793;

// min and max compare as written, so a NaN first argument yields the second one; clamp and
// rangelimit inherit that.
static double fn_min(double x, double y) { return x < y ? x : y; }
static double fn_max(double x, double y) { return x > y ? x : y; }

int64_t expression_double_to_integer(double v)
{
    if (std::isnan(v))
        return 0;
    if (v >= 9223372036854775807.0)
        return INT64_MAX;
    if (v <= -9223372036854775808.0)
        return INT64_MIN;
    return (int64_t)v;
}

// Inverse error function: a single-precision polynomial first guess refined by
// Halley steps. Beyond |x| = 0.5 the residual is taken from erfc, where 1 - |x| is exact, so
// the tails keep full precision.
double expression_erfinv(double x)
{
    if (std::isnan(x) || x < -1.0 || x > 1.0)
        return NAN;
    if (x == 1.0)
        return INFINITY;
    if (x == -1.0)
        return -INFINITY;
    if (x == 0.0)
        return x;
    double a = std::fabs(x);
    double w = -std::log((1.0 - a) * (1.0 + a));
    double p;
    if (w < 5.0) {
        w -= 2.5;
        p = 2.81022636e-08;
        p = 3.43273939e-07 + p * w;
        p = -3.5233877e-06 + p * w;
        p = -4.39150654e-06 + p * w;
        p = 0.00021858087 + p * w;
        p = -0.00125372503 + p * w;
        p = -0.00417768164 + p * w;
        p = 0.246640727 + p * w;
        p = 1.50140941 + p * w;
    } else {
        w = std::sqrt(w) - 3.0;
        p = -0.000200214257;
        p = 0.000100950558 + p * w;
        p = 0.00134934322 + p * w;
        p = -0.00367342844 + p * w;
        p = 0.00573950773 + p * w;
        p = -0.0076224613 + p * w;
        p = 0.00943887047 + p * w;
        p = 1.00167406 + p * w;
        p = 2.83297682 + p * w;
    }
    double y = p * a;
    const double two_over_sqrt_pi = 1.1283791670955126;
    // Two steps suffice up to 1 - 1e-6; the guess is extrapolated closer to 1 and needs a few more.
    for (int step = 0; step < 12; step++) {
        double f = a > 0.5 ? (1.0 - a) - std::erfc(y) : std::erf(y) - a;
        double slope = two_over_sqrt_pi * std::exp(-y * y);
        if (slope == 0.0)
            break;
        double ratio = f / slope;
        double delta = ratio / (1.0 + y * ratio);
        y -= delta;
        if (std::fabs(delta) <= 1e-16 * y)
            break;
    }
    return x < 0 ? -y : y;
}

double expression_short_erf(double x, double r)
{
    const double sqrt_half = std::sqrt(0.5);
    const double sqrt2 = std::sqrt(2.0);
    const double sqrt_pi = std::sqrt(pi_value);
    double a = sqrt_half * fn_min(fn_max(x, -r), r);
    double b = sqrt_half * r;
    double k = std::exp(b * b);
    auto n = [&](double t) { return sqrt_pi * k * (sqrt2 * k * std::erf(sqrt2 * t) - 4.0 * std::erf(t)) + 4.0 * t; };
    return n(a) / n(b);
}

// Wraps x into [lo, hi] by whole widths. A width that is zero, negative, infinite or NaN has
// no wrapped value and gives NaN, as does an infinite x. Far values jump by fmod instead of
// stepping one width at a time, landing where the stepping would have landed; the steps are
// bounded, since a width below the spacing of doubles near x may not move x at all (NaN then).
double expression_rangewrap(double x, double lo, double hi)
{
    if (std::isnan(x))
        return x;
    double w = hi - lo;
    if (!(w > 0.0) || std::isinf(w) || std::isinf(x))
        return NAN;
    const double far = 64.0;
    int steps = 0;
    if (x < lo) {
        if ((lo - x) / w > far) {
            double r = std::fmod(lo - x, w);
            x = r == 0.0 ? lo : hi - r;
        }
        while (x < lo && steps++ < 256)
            x += w;
    }
    if (x > hi) {
        if ((x - hi) / w > far) {
            double r = std::fmod(x - lo, w);
            x = r == 0.0 ? hi : lo + r;
        }
        while (x > hi && steps++ < 256)
            x -= w;
    }
    return steps > 256 ? NAN : x;
}

double expression_rand01(int64_t n)
{
    uint32_t h = (uint32_t)n + 0x3243F6A8u;
    h = (h ^ (h >> 16)) * 0x21F0AAADu;
    h = (h ^ (h >> 15)) * 0x735A2D97u;
    h = h ^ (h >> 15);
    return h / 4294967295.0;
}

static double fn_abs(double x) { return std::fabs(x); }
static double fn_acos(double x) { return std::acos(x); }
static double fn_asin(double x) { return std::asin(x); }
static double fn_atan(double x) { return std::atan(x); }
static double fn_atan2(double x, double y) { return std::atan2(x, y); }
static double fn_ceil(double x) { return std::ceil(x); }
static double fn_copysign(double x, double y) { return std::copysign(x, y); }
static double fn_cos(double x) { return std::cos(x); }
static double fn_cosh(double x) { return std::cosh(x); }
static double fn_erf(double x) { return std::erf(x); }
static double fn_erfr(double x) { return (std::erf(x) + 1.0) / 2.0; }
static double fn_exp(double x) { return std::exp(x); }
static double fn_floor(double x) { return std::floor(x); }
static double fn_gaussian(double x) { return std::exp(-x * x); }
static double fn_integral_erfr(double x) { return (x * std::erf(x) + std::exp(-x * x) / std::sqrt(pi_value) + x) / 2.0; }
static double fn_log(double x) { return std::log(x); }
static double fn_log10(double x) { return std::log10(x); }
static double fn_log2(double x) { return std::log2(x); }
static double fn_nearbyint(double x) { return std::nearbyint(x); }
static double fn_pow(double x, double y) { return std::pow(x, y); }
static double fn_sin(double x) { return std::sin(x); }
static double fn_sinh(double x) { return std::sinh(x); }
static double fn_tan(double x) { return std::tan(x); }
static double fn_tanh(double x) { return std::tanh(x); }
static double fn_trunc(double x) { return std::trunc(x); }

// 1 where the argument of the sine is zero: at x = 0 as well as for y = 0 or a product that
// underflows, where the quotient would otherwise be 0/0.
static double fn_sinc(double x, double y)
{
    if (x == 0.0)
        return 1.0;
    double t = 2.0 * pi_value * x * y;
    if (t == 0.0)
        return 1.0;
    return std::sin(t) / t;
}

static double fn_lab_to_linear(double l)
{
    double t = (l + 0.16) / 1.16;
    if (t > 6.0 / 29.0)
        return t * t * t;
    return (t - 4.0 / 29.0) * 3.0 * ((6.0 / 29.0) * (6.0 / 29.0));
}

static double fn_linear_to_lab(double y)
{
    double f = y > 0.008856451679035631 ? std::cbrt(y) : y * 7.787037037037037 + 4.0 / 29.0;
    return 1.16 * f - 0.16;
}

static double fn_lab_invert(double x) { return fn_lab_to_linear(1.0 - fn_linear_to_lab(x)); }
static double fn_lsrgb(double x) { return x > 0.0031308 ? 1.055 * std::pow(x, 1.0 / 2.4) - 0.055 : 12.92 * x; }
static double fn_slrgb(double x) { return x > 0.04045 ? std::pow((x + 0.055) / 1.055, 2.4) : x / 12.92; }
static double fn_db_to_vol(double x) { return std::pow(10.0, x / 20.0); }
static double fn_vol_to_db(double x) { return 20.0 * std::log10(x); }
static double fn_clamp(double x) { return fn_min(fn_max(x, 0.0), 1.0); }
static double fn_rangelimit(double x, double y, double z) { return fn_min(fn_max(x, y), z); }
static double fn_mix(double x, double y, double z) { return x + (y - x) * z; }
static double fn_sign(double x) { return x > 0.0 ? 1.0 : x == 0.0 ? 0.0 : -1.0; }

#define F1(name, fn) { name, "fdd", fn, nullptr, nullptr, nullptr }
#define F2(name, fn) { name, "fddd", nullptr, fn, nullptr, nullptr }
#define F3(name, fn) { name, "fdddd", nullptr, nullptr, fn, nullptr }

const ExpressionFunction expression_functions[] = {
    F1("abs", fn_abs),
    F1("acos", fn_acos),
    F1("asin", fn_asin),
    F1("atan", fn_atan),
    F2("atan2", fn_atan2),
    F1("ceil", fn_ceil),
    F1("clamp", fn_clamp),
    F2("copysign", fn_copysign),
    F1("cos", fn_cos),
    F1("cosh", fn_cosh),
    F1("db_to_vol", fn_db_to_vol),
    F1("erf", fn_erf),
    F1("erfinv", expression_erfinv),
    F1("erfr", fn_erfr),
    F1("exp", fn_exp),
    F1("floor", fn_floor),
    F1("gaussian", fn_gaussian),
    F1("integral_erfr", fn_integral_erfr),
    F1("lab_invert", fn_lab_invert),
    F1("lab_to_linear", fn_lab_to_linear),
    F1("linear_to_lab", fn_linear_to_lab),
    F1("log", fn_log),
    F1("log10", fn_log10),
    F1("log2", fn_log2),
    F1("lsrgb", fn_lsrgb),
    F2("max", fn_max),
    F2("min", fn_min),
    F3("mix", fn_mix),
    F1("nearbyint", fn_nearbyint),
    F2("pow", fn_pow),
    { "rand01", "fdi", nullptr, nullptr, nullptr, expression_rand01 },
    F3("rangelimit", fn_rangelimit),
    F3("rangewrap", expression_rangewrap),
    F2("short_erf", expression_short_erf),
    F1("sign", fn_sign),
    F1("sin", fn_sin),
    F2("sinc", fn_sinc),
    F1("sinh", fn_sinh),
    F1("slrgb", fn_slrgb),
    F1("tan", fn_tan),
    F1("tanh", fn_tanh),
    F1("trunc", fn_trunc),
    F1("vol_to_db", fn_vol_to_db),
};

const int expression_function_total = (int)(sizeof expression_functions / sizeof expression_functions[0]);

int expression_function_find(const char* name, size_t length)
{
    for (int i = 0; i < expression_function_total; i++) {
        const char* n = expression_functions[i].name;
        if (strlen(n) == length && memcmp(n, name, length) == 0)
            return i;
    }
    return -1;
}

const char* expression_function_name(int index)
{
    return index >= 0 && index < expression_function_total ? expression_functions[index].name : nullptr;
}

const char* expression_function_signature(int index)
{
    return index >= 0 && index < expression_function_total ? expression_functions[index].signature : nullptr;
}

int expression_function_count() { return expression_function_total; }
