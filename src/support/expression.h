// The expression evaluator that reads every number of the program.
//
// A text is a plain number, a duodecimal fraction ("1;6" is 1.5, "2;3;6" is 2 + 3/12 + 6/144)
// or an arithmetic expression with brackets, implied multiplication ("2pi", "3(1+1)"), the
// constants pi and e and a fixed table of 43 functions. It is evaluated in two stages: the
// text is rewritten into a short program of three-address instructions, one per line, which is
// then compiled into an instruction array and run.
//
// The instruction text, fields separated by one space:
//   d0 add 2 3            result register, instruction, left operand, right operand
//                         (add sub mul div mod pow)
//   i0 cmp d0 1 <=        comparisons write an integer register; the comparator comes last
//   d1 fdd sin d0         function call: result register, signature, name, arguments
//   return d1
// Registers are d<n> (double) and i<n> (integer), numbered by a first-free allocator. Operands
// are registers, numbers as written and the constants pi and e. Signatures: fdd, fddd and fdddd
// take one to three doubles, fdi one integer (a double is truncated toward zero).
//
// Diagnostics go to an optional growable text buffer, one line per failure. Lines that point
// at a place in the text are wrapped in the text renderer's highlight characters U+E003 and
// U+E009. Nothing here keeps state between calls, so any thread may evaluate.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// The value of `text`, or NaN when it cannot be tokenised, reduced, compiled or run.
// A null text counts as empty. `log` may be null.
double evaluate_expression(const char* text, std::string* log = nullptr);

// Rewrites `text` into the instruction text, ending with a `return` line; an empty string when
// the text cannot be rewritten (the reason is in `log`). With `trace` on, the tokeniser and
// reducer also describe their steps in `log`.
std::string expression_to_program(const char* text, std::string* log = nullptr, bool trace = false);

enum ExpressionOpcode : uint8_t { expr_add, expr_sub, expr_mul, expr_div, expr_mod, expr_pow,
                                  expr_cmp, expr_call, expr_return };
enum ExpressionComparator : uint8_t { expr_eq, expr_lt, expr_gt, expr_le, expr_ge, expr_ne };
enum ExpressionOperandKind : uint8_t { expr_constant, expr_double_register, expr_int_register };

struct ExpressionOperand {
    ExpressionOperandKind kind = expr_constant;
    int32_t reg = 0;
    double value = 0.0;
};

struct ExpressionInstruction {
    ExpressionOpcode op = expr_return;
    ExpressionComparator comparator = expr_eq;
    int32_t result = 0;    // register written (integer register for cmp)
    int32_t function = 0;  // index into the function table for calls
    int32_t arg_count = 0;
    ExpressionOperand arg[3];
};

struct ExpressionProgram {
    std::vector<ExpressionInstruction> code;  // ends with the return instruction
    int32_t double_registers = 0;
    int32_t int_registers = 0;
};

// Compiles instruction text into `program`. Returns false, with one line in `log`, at the first
// line that is not a valid instruction or when no valid `return` is present.
bool compile_expression_program(const char* text, ExpressionProgram* program, std::string* log = nullptr);

// Runs a compiled program. Division by zero gives infinity or NaN as IEEE division does.
double run_expression_program(const ExpressionProgram& program);

// Looks up a function of the table by name: its index, or -1.
int expression_function_find(const char* name, size_t length);
const char* expression_function_name(int index);
const char* expression_function_signature(int index);
int expression_function_count();
