#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "support/expression.h"
#include "testlib.h"

namespace {

const std::string hl_on = "\xEE\x80\x83";
const std::string hl_off = "\xEE\x80\x89";

double eval(const std::string& text, std::string* log = nullptr) { return evaluate_expression(text.c_str(), log); }

// The log of an expression that must fail: NaN and exactly one diagnostic line.
std::string failure_line(const std::string& text)
{
    std::string log;
    double v = eval(text, &log);
    EXPECT_TRUE(std::isnan(v)) << text << " gave " << v;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << text << ": " << log;
    return log;
}

std::string marked(const std::string& message) { return hl_on + message + hl_off + "\n"; }

struct Case {
    const char* text;
    double value;
};

void expect_values(const Case* cases, size_t n, double rel)
{
    for (size_t k = 0; k < n; k++) {
        std::string log;
        double v = eval(cases[k].text, &log);
        double want = cases[k].value;
        if (std::isnan(want)) {
            EXPECT_TRUE(std::isnan(v)) << cases[k].text << " gave " << v;
        } else if (std::isinf(want) || want == 0.0) {
            EXPECT_EQ(v, want) << cases[k].text;
        } else {
            EXPECT_NEAR(v, want, std::fabs(want) * rel) << cases[k].text;
        }
        if (!std::isnan(want)) {
            EXPECT_EQ(log, "") << cases[k].text;
        }
    }
}

} // namespace

TEST(Expression, NumbersConstantsAndSpaces)
{
    EXPECT_EQ(eval("3"), 3.0);
    EXPECT_EQ(eval(" 3 "), 3.0);
    EXPECT_EQ(eval("\t1.5\n"), 1.5);
    EXPECT_EQ(eval(".5"), 0.5);
    EXPECT_EQ(eval("1e-3"), 1e-3);
    EXPECT_EQ(eval("4e4"), 40000.0);
    EXPECT_EQ(eval("2e3"), 2000.0);  // a number, not 2 times e times 3
    EXPECT_EQ(eval("e"), 2.718281828459045);
    EXPECT_EQ(eval("pi"), 3.141592653589793);
    EXPECT_EQ(eval("2pi"), 6.283185307179586);
    EXPECT_EQ(eval("inf"), INFINITY);
    EXPECT_TRUE(std::isnan(evaluate_expression(nullptr)));
}

TEST(Expression, PrecedenceAndAssociativity)
{
    static const Case cases[] = {
        { "2^3^2", 512 },   { "-2^2", -4 },      { "2^-2", 0.25 },   { "2^-1", 0.5 },    { "2^+2", 4 },
        { "8-3-2", 3 },     { "8/4/2", 1 },      { "12/3*2", 8 },    { "3-2+1", 2 },     { "7%3", 1 },
        { "-7%3", -1 },     { "7%-3", 1 },       { "2*-3", -6 },     { "-2*3", -6 },     { "--3", 3 },       { "2*--3", 6 },     { "-+3", -3 },      { "-1*-2", 2 },
        { "2+3*4", 14 },    { "(2+3)*4", 20 },   { "2*3^2", 18 },    { "2-3^2", -7 },    { "1+2<4", 1 },
        { "2 >= 3", 0 },    { "1<2==1", 1 },     { "2!=2", 0 },      { "3<=3", 1 },      { "(1<2)+1", 2 },
        { "1/0", INFINITY }, { "-1/0", -INFINITY }, { "2^3^-1", 1.2599210498948732 },  { "-(1+1)^2", -4 }, { "1 - -1", 2 },
    };
    expect_values(cases, sizeof cases / sizeof cases[0], 1e-15);
    EXPECT_TRUE(std::isnan(eval("0/0")));  // a computed NaN, not a failure: nothing is logged
    std::string log;
    eval("0/0", &log);
    EXPECT_EQ(log, "");
}

TEST(Expression, DuodecimalFractionsAndImpliedMultiplication)
{
    static const Case cases[] = {
        { "1;6", 1.5 },          { "2;3;6", 2 + 3 / 12.0 + 6 / 144.0 }, { "-0;6", -0.5 },
        { "1;6 + 1", 2.5 },      { "10;11;11;11", 10 + 11 / 12.0 + 11 / 144.0 + 11 / 1728.0 },
        { "3(1+1)", 6 },         { "(1)(2)", 2 },     { "(2)3", 6 },     { "2 3", 6 },
        { "2sin(pi/2)", 2 },     { "2pi^2", 2 * 3.141592653589793 * 3.141592653589793 },
        { "1;6pi", 1.5 * 3.141592653589793 },          { "pi e", 3.141592653589793 * 2.718281828459045 },
    };
    expect_values(cases, sizeof cases / sizeof cases[0], 1e-15);
    // A ';' followed by white space ends the number and is left over.
    EXPECT_EQ(failure_line("1; 6"), marked("Character ';' (0x3b) unidentified"));
    EXPECT_EQ(failure_line("1;x"), marked("Character ';' (0x3b) unidentified"));
    // A function name takes its bracket directly; with a space it is an unknown variable.
    EXPECT_EQ(failure_line("sin (1)"), "Symbol 'sin' unknown\n");
}

TEST(Expression, FailuresLogOneLineEach)
{
    EXPECT_EQ(failure_line(""), marked("0 symbols remain instead of the expected 1."));
    EXPECT_EQ(failure_line("1,2"), marked("3 symbols remain instead of the expected 1."));
    EXPECT_EQ(failure_line("foo"), "Symbol 'foo' unknown\n");
    EXPECT_EQ(failure_line("nan"), "Invalid expression 'nan'\n");
    EXPECT_EQ(failure_line("(1+2"), marked("Unmatched '(' at position 0"));
    EXPECT_EQ(failure_line("((1)"), marked("Unmatched '(' at position 0"));
    EXPECT_EQ(failure_line("1+2)"), marked("Unmatched ')' at position 3"));
    EXPECT_EQ(failure_line("1+"), marked("Operator '+' is the final symbol."));
    EXPECT_EQ(failure_line("min(2*,3)"), marked("Operator '*' is the final symbol."));
    EXPECT_EQ(failure_line("*2"), "Argument missing (2 arguments expected) in line 1: 'd0 mul 2'\n");
    EXPECT_EQ(failure_line("2*/3"), "Argument missing (2 arguments expected) in line 1: 'd0 mul 2'\n");
    EXPECT_EQ(failure_line("(1,2)"), marked("Bracket '(1,2)' doesn't reduce to one symbol, an operator must be missing."));
    EXPECT_EQ(failure_line("3*()"), marked("Bracket '()' doesn't reduce to one symbol, an operator must be missing."));
    EXPECT_EQ(failure_line("2 # 3"), marked("Character '#' (0x23) unidentified"));
    EXPECT_EQ(failure_line("2\x01"), marked("Character 0x1 unidentified"));
    EXPECT_EQ(failure_line("\xC3\xA9"), marked("Character 0xc3 unidentified"));
    // Names never reach the registers of the program: an unknown 'd0' is not register d0.
    EXPECT_EQ(failure_line("sin(1)+d0"), "Symbol 'd0' unknown\n");
    // Comparison operators keep their whole run of operator characters.
    EXPECT_EQ(failure_line("2<-1"), "Argument '<-' unidentified in line 1: 'i0 cmp 2 1 <-'\n");
    EXPECT_EQ(eval("2 < -1"), 0.0);
}

TEST(Expression, FunctionArityAndNames)
{
    EXPECT_EQ(failure_line("sin()"), "Argument missing (1 arguments expected) in line 1: 'd0 fdd sin'\n");
    EXPECT_EQ(failure_line("min(1)"), "Argument missing (2 arguments expected) in line 1: 'd0 fddd min 1'\n");
    EXPECT_EQ(failure_line("mix(1,2)"), "Argument missing (3 arguments expected) in line 1: 'd0 fdddd mix 1 2'\n");
    EXPECT_EQ(failure_line("sin(1,2)"), "Unidentified '2' in line 1: 'd0 fdd sin 1 2'\n");
    EXPECT_EQ(failure_line("foo(1)"), "Unidentified 'foo' in line 1: 'd0 fdd foo 1'\n");
    EXPECT_EQ(failure_line("min(1,,2)"), marked("Empty argument in 'min(1,,2)'"));
    EXPECT_EQ(failure_line("min(1,2,)"), marked("Empty argument in 'min(1,2,)'"));
    EXPECT_EQ(failure_line("max(,2)"), marked("Empty argument in 'max(,2)'"));
    EXPECT_EQ(eval("max(1+2, min(4, 2^3))*2"), 8.0);
    EXPECT_EQ(expression_function_count(), 43);
    for (const char* name : { "abs", "acos", "asin", "atan", "atan2", "ceil", "clamp", "copysign", "cos", "cosh",
                              "db_to_vol", "erf", "erfinv", "erfr", "exp", "floor", "gaussian", "integral_erfr",
                              "lab_invert", "lab_to_linear", "linear_to_lab", "log", "log10", "log2", "lsrgb",
                              "max", "min", "mix", "nearbyint", "pow", "rand01", "rangelimit", "rangewrap",
                              "short_erf", "sign", "sin", "sinc", "sinh", "slrgb", "tan", "tanh", "trunc",
                              "vol_to_db" })
        EXPECT_GE(expression_function_find(name, strlen(name)), 0) << name;
}

TEST(Expression, StandardFunctions)
{
    static const Case cases[] = {
        { "abs(-2.5)", 2.5 },
        { "acos(0.5)", 1.0471975511965977 },   { "asin(0.5)", 0.5235987755982989 },
        { "atan(1)", 0.7853981633974483 },     { "atan2(1,-1)", 2.356194490192345 },
        { "cos(pi)", -1 },                     { "cosh(1)", 1.5430806348152437 },
        { "sin(pi/6)", 0.5 },                  { "sinh(1)", 1.1752011936438014 },
        { "tan(pi/4)", 1 },                    { "tanh(0.5)", 0.46211715726000974 },
        { "ceil(-1.5)", -1 },  { "floor(-1.5)", -2 },  { "trunc(-1.7)", -1 },
        { "nearbyint(2.5)", 2 }, { "nearbyint(3.5)", 4 }, { "nearbyint(-2.5)", -2 },
        { "exp(1)", 2.718281828459045 }, { "log(e)", 1 }, { "log10(1000)", 3 }, { "log2(8)", 3 },
        { "pow(2,10)", 1024 }, { "pow(-8,1/3)", NAN }, { "copysign(3,-1)", -3 }, { "copysign(3,-0)", 3 } /* 0 - 0 is +0 */, { "copysign(-2,1)", 2 },
        { "min(2,3)", 2 }, { "max(2,3)", 3 }, { "max(-1,-2)", -1 },
        { "clamp(1.5)", 1 }, { "clamp(-0.5)", 0 }, { "clamp(0.25)", 0.25 },
        { "rangelimit(5,0,3)", 3 }, { "rangelimit(-1,0,3)", 0 }, { "rangelimit(2,0,3)", 2 },
        { "mix(2,4,0.25)", 2.5 }, { "mix(2,4,1)", 4 },
        { "sign(-3)", -1 }, { "sign(0)", 0 }, { "sign(2)", 1 },
        { "db_to_vol(-6)", 0.5011872336272722 }, { "db_to_vol(20)", 10 },
        { "vol_to_db(0.5)", -6.020599913279624 }, { "vol_to_db(0)", -INFINITY },
    };
    expect_values(cases, sizeof cases / sizeof cases[0], 2e-16 * 4);
}

TEST(Expression, SpecialFunctions)
{
    static const Case cases[] = {
        { "gaussian(1)", 0.36787944117144233 },     { "gaussian(2)", 0.01831563888873418 },
        { "erf(0.5)", 0.5204998778130465 },         { "erfr(0)", 0.5 },
        { "erfr(1)", 0.9213503964748574 },
        { "erfinv(0.5)", 0.47693627620446987 },     { "erfinv(-0.9)", -1.1630871536766741 },
        { "erfinv(1-2^-20)", 3.4655050258033307 },     { "erfinv(1-2^-40)", 5.05125408524939 },    { "erfinv(1-2^-50)", 5.686128441310391 },
        { "erfinv(1e-10)", 8.86226925452758e-11 },  { "erfinv(1)", INFINITY },
        { "erfinv(-1)", -INFINITY },                { "erfinv(1.5)", NAN },
        { "integral_erfr(1)", 1.0251272708300061 }, { "integral_erfr(0)", 0.28209479177387814 },
        { "short_erf(1,2)", 0.8968499412209899 },   { "short_erf(-0.5,3)", -0.5247744014602163 },
        { "short_erf(2,2)", 1 },  { "short_erf(-2,2)", -1 },  { "short_erf(7,2)", 1 },  { "short_erf(0,2)", 0 },
        { "sinc(0,5)", 1 },       { "sinc(0.25,1)", 0.6366197723675814 },
        { "sinc(3,0)", 1 },  // the limit where the product vanishes, not 0/0
        { "lab_to_linear(0.5)", 0.18418651851244413 },   { "linear_to_lab(0.18418651851244413)", 0.5 },
        { "linear_to_lab(1)", 1 },                       { "linear_to_lab(0.001)", 0.00903296296296296 },
        { "lab_to_linear(linear_to_lab(0.001))", 0.001 },
        { "lab_invert(0.18418651851244413)", 0.18418651851244413 },   // the middle grey maps to itself
        { "lsrgb(0.5)", 0.7353569830524495 },  { "lsrgb(0.001)", 0.01292 },
        { "slrgb(0.7353569830524495)", 0.5 },  { "slrgb(0.02)", 0.0015479876160990713 },
        { "rangewrap(370,0,360)", 10 },   { "rangewrap(-10,0,360)", 350 },  { "rangewrap(360,0,360)", 360 },
        { "rangewrap(720,0,360)", 360 },  { "rangewrap(0,0,360)", 0 },      { "rangewrap(-720,0,360)", 0 },
        { "rangewrap(1e9+5,0,10)", 5 },   { "rangewrap(-1e9-5,0,10)", 5 },  { "rangewrap(1e9,0,10)", 10 },
        { "rangewrap(-1e9,0,10)", 0 },
        // No width: the stepping would never end, the value has no wrapped place.
        { "rangewrap(5,3,3)", NAN },      { "rangewrap(5,4,3)", NAN },      { "rangewrap(1/0,0,1)", NAN },
    };
    expect_values(cases, sizeof cases / sizeof cases[0], 1e-13);
    EXPECT_NEAR(eval("integral_erfr(-2)"), 0.0004890113574757476, 1e-16);
    EXPECT_NEAR(eval("lab_to_linear(0)"), 0.0, 1e-16);
    for (double x : { -0.99, -0.3, 1e-5, 0.2, 0.7, 0.9999 }) {
        std::string text = "erf(erfinv(" + std::to_string(x) + "))";
        EXPECT_NEAR(eval(text), std::stod(std::to_string(x)), 4e-16) << text;
    }
}

TEST(Expression, Rand01IsAFixedHashOfTheTruncatedInteger)
{
    // Values worked out by hand from the hash's definition.
    EXPECT_EQ(eval("rand01(0)"), 0.37232652152244156);
    EXPECT_EQ(eval("rand01(1)"), 0.9939951477558341);
    EXPECT_EQ(eval("rand01(-1)"), 0.9274996698199538);
    EXPECT_EQ(eval("rand01(12345)"), 0.14906891066326503);
    EXPECT_EQ(eval("rand01(1.9)"), eval("rand01(1)"));
    EXPECT_EQ(eval("rand01(-1.9)"), eval("rand01(-1)"));
    EXPECT_EQ(eval("rand01(1<2)"), eval("rand01(1)"));
    double sum = 0;
    for (int n = 0; n < 2000; n++) {
        double v = eval("rand01(" + std::to_string(n) + ")");
        ASSERT_GE(v, 0.0);
        ASSERT_LE(v, 1.0);
        sum += v;
    }
    EXPECT_NEAR(sum / 2000, 0.5, 0.03);
}

TEST(Expression, InstructionText)
{
    EXPECT_EQ(expression_to_program("3"), "return 3\n");
    EXPECT_EQ(expression_to_program("1;6"), "return 1.5\n");
    EXPECT_EQ(expression_to_program("-2^2"), "d0 pow 2 2\nd0 sub 0 d0\nreturn d0\n");
    // '^-' negates its right operand first; consumed registers are reused at once.
    EXPECT_EQ(expression_to_program("2^-3*(1+2)"),
              "d0 add 1 2\n"
              "d1 sub 0 3\n"
              "d1 pow 2 d1\n"
              "d0 mul d1 d0\n"
              "return d0\n");
    // Levels reduce from the deepest up; functions first, then operators by precedence.
    EXPECT_EQ(expression_to_program("min(1+2, sin(pi)) < 2pi"),
              "d0 fdd sin pi\n"
              "d1 add 1 2\n"
              "d0 fddd min d1 d0\n"
              "d1 mul 2 pi\n"
              "i0 cmp d0 d1 <\n"
              "return i0\n");
    EXPECT_EQ(expression_to_program("rand01(7)"), "d0 fdi rand01 7\nreturn d0\n");
    std::string log;
    EXPECT_EQ(expression_to_program("(1", &log), "");
    EXPECT_EQ(log, marked("Unmatched '(' at position 0"));
}

TEST(Expression, TraceDescribesTheTokens)
{
    std::string log;
    expression_to_program("2sin(x,1)-3", &log, true);
    EXPECT_EQ(log,
              "Value, 1 chars\n"
              "Function named 'sin', 3 chars\n"
              "Function bracket open\n"
              "Variable named 'x', 1 chars\n"
              "Comma\n"
              "Value, 1 chars\n"
              "Function bracket close\n"
              "Operator -, 1 chars\n"
              "Value, 1 chars\n"
              "Implied '*' operator added\n"
              "Symbol 'x' unknown\n");
    log.clear();
    EXPECT_TRUE(std::isnan(evaluate_expression("(x)", &log)));
    EXPECT_EQ(log, "Symbol 'x' unknown\n");  // evaluation never traces
}

TEST(Expression, CompilerRefusesFaultyPrograms)
{
    ExpressionProgram p;
    struct Bad {
        const char* program;
        const char* line;
    };
    static const Bad bad[] = {
        { "d0 fxd sin 1\nreturn d0\n", "Function type 'fxd' not implemented in line 1: 'd0 fxd sin 1'\n" },
        { "d0 fdd min 1\nreturn d0\n", "Function type 'fdd' not implemented in line 1: 'd0 fdd min 1'\n" },
        { "d0 add 1 2\n", "The 'return' command is missing or invalid\n" },
        { "d0 add 1 2\nreturn\n", "The 'return' command is missing or invalid\n" },
        { "return 1.5x\n", "Expression '1.5x' couldn't be interpreted\n" },
        { "return -nan\n", "Invalid expression '-nan'\n" },
        { "return tau\n", "Symbol 'tau' unknown\n" },
        { "d0 add d1 1\nreturn d0\n", "Argument 'd1' unidentified in line 1: 'd0 add d1 1'\n" },
        { "d0 add 1 @\nreturn d0\n", "Argument '@' unidentified in line 1: 'd0 add 1 @'\n" },
        { "d0 blend 1 2\nreturn d0\n", "Unidentified 'blend' in line 1: 'd0 blend 1 2'\n" },
        { "i0 add 1 2\nreturn i0\n", "Unidentified 'i0' in line 1: 'i0 add 1 2'\n" },
        { "d0 cmp 1 2 <\nreturn d0\n", "Unidentified 'd0' in line 1: 'd0 cmp 1 2 <'\n" },
        { "\nd0 add 1 2\nd1 cmp d0 2\nreturn d1\n", "Unidentified 'd1' in line 3: 'd1 cmp d0 2'\n" },
    };
    for (const Bad& b : bad) {
        std::string log;
        EXPECT_FALSE(compile_expression_program(b.program, &p, &log)) << b.program;
        EXPECT_EQ(log, b.line) << b.program;
    }
    std::string log;
    ASSERT_TRUE(compile_expression_program("i0 cmp 2 3 <=\r\nd0 fddd atan2 i0 -1\nreturn d0\n", &p, &log)) << log;
    EXPECT_EQ(p.code.size(), 3u);
    EXPECT_EQ(run_expression_program(p), std::atan2(1.0, -1.0));
}

TEST(Expression, LongAndDeepInputsNeverCrash)
{
    // 2,049 characters of brackets or operators: NaN with a single diagnostic.
    const size_t n = 2049;
    EXPECT_EQ(failure_line(std::string(n, '(')), marked("Unmatched '(' at position 0"));
    EXPECT_EQ(failure_line(std::string(n, ')')), marked("Unmatched ')' at position 0"));
    std::string pairs;
    while (pairs.size() < n)
        pairs += "()";
    pairs.resize(n);
    EXPECT_TRUE(std::isnan(eval(pairs)));
    for (char c : std::string("-+*/%^<=>!"))
        EXPECT_TRUE(std::isnan(eval(std::string(n, c)))) << c;
    std::string mixed;
    while (mixed.size() < n)
        mixed += "(-^";
    mixed.resize(n);
    EXPECT_TRUE(std::isnan(eval(mixed)));

    // Nesting far beyond any stack a recursive reader could use.
    const int depth = 100000;
    std::string deep = std::string(depth, '(') + "1;6" + std::string(depth, ')');
    EXPECT_EQ(eval(deep), 1.5);
    std::string calls;
    for (int k = 0; k < 20000; k++)
        calls += "abs(";
    calls += "-2" + std::string(20000, ')');
    EXPECT_EQ(eval(calls), 2.0);
    std::string sum = "1";
    for (int k = 0; k < 100000; k++)
        sum += "+1";
    EXPECT_EQ(eval(sum), 100001.0);
    std::string powers = "1";
    for (int k = 0; k < 50000; k++)
        powers += "^1";
    EXPECT_EQ(eval(powers), 1.0);
    std::string groups;
    for (int k = 0; k < 1000; k++)
        groups += "(1+1)";
    EXPECT_EQ(eval(groups), std::ldexp(1.0, 1000));
    EXPECT_EQ(failure_line(std::string(50000, '(') + "1,2" + std::string(50000, ')')),
              marked("Bracket '(1,2)' doesn't reduce to one symbol, an operator must be missing."));
}

TEST(Expression, CommandLineEval)
{
    std::string out;
    EXPECT_EQ(run_command(cli_path() + " --eval '2^3^2' 2>/dev/null", &out), 0);
    EXPECT_EQ(out, "512\n");
    out.clear();
    EXPECT_EQ(run_command(cli_path() + " --eval 2pi 2>/dev/null", &out), 0);
    EXPECT_EQ(out, "6.2831853071795862\n");
    out.clear();
    EXPECT_EQ(run_command(cli_path() + " --eval '1;6' 2>/dev/null", &out), 0);
    EXPECT_EQ(out, "1.5\n");
    out.clear();
    EXPECT_EQ(run_command(cli_path() + " --eval '1; 6' 2>&1", &out), 1);
    EXPECT_EQ(out, "Character ';' (0x3b) unidentified\nnan\n");
    out.clear();
    EXPECT_EQ(run_command(cli_path() + " --eval 'foo' 2>/dev/null", &out), 1);
    EXPECT_EQ(out, "nan\n");
    out.clear();
    EXPECT_EQ(run_command(cli_path() + " --eval '0/0' 2>&1", &out), 1);
    EXPECT_EQ(out, "nan\n");
    out.clear();
    EXPECT_EQ(run_command(cli_path() + " --eval 2>&1", &out), 2);
    EXPECT_NE(out.find("Usage:"), std::string::npos);
    out.clear();
    EXPECT_EQ(run_command(cli_path() + " --evaluate 1 2>&1", &out), 2);
    EXPECT_NE(out.find("unknown option '--evaluate'"), std::string::npos);
}
