// Compiles the instruction text of an expression into an instruction array, and runs it.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "support/expression.h"
#include "support/expression_internal.h"

void expression_log(std::string* log, const char* format, ...)
{
    if (!log)
        return;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (n > 0) {
        size_t old = log->size();
        log->resize(old + (size_t)n + 1);
        vsnprintf(log->data() + old, (size_t)n + 1, format, again);
        log->resize(old + (size_t)n);
    }
    va_end(again);
}

namespace {

struct LineContext {
    std::string line;  // the line as written, for messages
    int number = 0;
    std::string* log = nullptr;
};

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

// A register name: 'd' or 'i' followed by decimal digits only. Indices at or beyond `limit`
// cannot come from a first-free allocator over this many lines and are refused.
bool parse_register(std::string_view field, char* type, int32_t* index, int32_t limit)
{
    if (field.size() < 2 || field.size() > 10 || (field[0] != 'd' && field[0] != 'i'))
        return false;
    int64_t v = 0;
    for (size_t k = 1; k < field.size(); k++) {
        if (field[k] < '0' || field[k] > '9')
            return false;
        v = v * 10 + (field[k] - '0');
    }
    if (v >= limit)
        return false;
    *type = field[0];
    *index = (int32_t)v;
    return true;
}

bool is_identifier(std::string_view field)
{
    if (field.empty() || !((field[0] >= 'a' && field[0] <= 'z') || (field[0] >= 'A' && field[0] <= 'Z')))
        return false;
    for (char c : field)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.'))
            return false;
    return true;
}

struct Compiler {
    int32_t register_limit = 0;
    std::vector<uint8_t> double_written, int_written;
    ExpressionProgram* program = nullptr;

    bool operand(const std::string& field, const LineContext& ctx, ExpressionOperand* out)
    {
        char type;
        int32_t index;
        if (parse_register(field, &type, &index, register_limit)) {
            std::vector<uint8_t>& written = type == 'd' ? double_written : int_written;
            if ((size_t)index >= written.size() || !written[(size_t)index]) {
                expression_log(ctx.log, "Argument '%s' unidentified in line %d: '%s'\n", field.c_str(), ctx.number,
                               ctx.line.c_str());
                return false;
            }
            out->kind = type == 'd' ? expr_double_register : expr_int_register;
            out->reg = index;
            return true;
        }
        char* end = nullptr;
        double v = strtod(field.c_str(), &end);
        if (end != field.c_str()) {
            if (*end) {
                expression_log(ctx.log, "Expression '%s' couldn't be interpreted\n", field.c_str());
                return false;
            }
            if (std::isnan(v)) {
                expression_log(ctx.log, "Invalid expression '%s'\n", field.c_str());
                return false;
            }
            out->kind = expr_constant;
            out->value = v;
            return true;
        }
        if (field == "pi" || field == "e") {
            out->kind = expr_constant;
            out->value = field == "pi" ? 3.141592653589793 : 2.718281828459045;
            return true;
        }
        if (is_identifier(field))
            expression_log(ctx.log, "Symbol '%.*s' unknown\n", (int)field.size(), field.c_str());
        else
            expression_log(ctx.log, "Argument '%s' unidentified in line %d: '%s'\n", field.c_str(), ctx.number,
                           ctx.line.c_str());
        return false;
    }

    void mark_written(char type, int32_t index)
    {
        std::vector<uint8_t>& written = type == 'd' ? double_written : int_written;
        if ((size_t)index >= written.size())
            written.resize((size_t)index + 1, 0);
        written[(size_t)index] = 1;
        int32_t& count = type == 'd' ? program->double_registers : program->int_registers;
        if (index + 1 > count)
            count = index + 1;
    }

    // One instruction line (not `return`). Returns false after logging its fault.
    bool line(const std::vector<std::string>& f, const LineContext& ctx)
    {
        static const char* const arithmetic[] = { "add", "sub", "mul", "div", "mod", "pow" };
        ExpressionInstruction ins;
        size_t first_arg = 2;
        int expected = 0;
        char result_type = 'd';
        if (f.size() < 2) {
            expression_log(ctx.log, "Unidentified '%s' in line %d: '%s'\n", f[0].c_str(), ctx.number, ctx.line.c_str());
            return false;
        }
        const std::string& name = f[1];
        bool known = false;
        for (int k = 0; k < 6; k++)
            if (name == arithmetic[k]) {
                ins.op = (ExpressionOpcode)(expr_add + k);
                expected = 2;
                known = true;
            }
        if (name == "cmp") {
            ins.op = expr_cmp;
            expected = 3;
            result_type = 'i';
            known = true;
        }
        if (!known && name[0] == 'f') {
            if (name != "fdd" && name != "fddd" && name != "fdddd" && name != "fdi") {
                expression_log(ctx.log, "Function type '%s' not implemented in line %d: '%s'\n", name.c_str(),
                               ctx.number, ctx.line.c_str());
                return false;
            }
            expected = (int)name.size() - 2;
            if (f.size() < 3) {
                expression_log(ctx.log, "Argument missing (%d arguments expected) in line %d: '%s'\n", expected,
                               ctx.number, ctx.line.c_str());
                return false;
            }
            int fn = expression_function_find(f[2].c_str(), f[2].size());
            if (fn < 0) {
                expression_log(ctx.log, "Unidentified '%s' in line %d: '%s'\n", f[2].c_str(), ctx.number,
                               ctx.line.c_str());
                return false;
            }
            if (name != expression_functions[fn].signature) {
                expression_log(ctx.log, "Function type '%s' not implemented in line %d: '%s'\n", name.c_str(),
                               ctx.number, ctx.line.c_str());
                return false;
            }
            ins.op = expr_call;
            ins.function = fn;
            first_arg = 3;
            known = true;
        }
        if (!known) {
            expression_log(ctx.log, "Unidentified '%s' in line %d: '%s'\n", name.c_str(), ctx.number, ctx.line.c_str());
            return false;
        }
        char type;
        int32_t index;
        if (!parse_register(f[0], &type, &index, register_limit) || type != result_type) {
            expression_log(ctx.log, "Unidentified '%s' in line %d: '%s'\n", f[0].c_str(), ctx.number, ctx.line.c_str());
            return false;
        }
        size_t given = f.size() - first_arg;
        if ((int)given < expected) {
            expression_log(ctx.log, "Argument missing (%d arguments expected) in line %d: '%s'\n", expected,
                           ctx.number, ctx.line.c_str());
            return false;
        }
        if ((int)given > expected) {
            const std::string& extra = f[first_arg + (size_t)expected];
            expression_log(ctx.log, "Unidentified '%s' in line %d: '%s'\n", extra.c_str(), ctx.number, ctx.line.c_str());
            return false;
        }
        int operands = ins.op == expr_cmp ? 2 : expected;
        for (int k = 0; k < operands; k++)
            if (!operand(f[first_arg + (size_t)k], ctx, &ins.arg[k]))
                return false;
        ins.arg_count = operands;
        if (ins.op == expr_cmp) {
            static const char* const comparators[] = { "==", "<", ">", "<=", ">=", "!=" };
            const std::string& c = f[first_arg + 2];
            int found = -1;
            for (int k = 0; k < 6; k++)
                if (c == comparators[k])
                    found = k;
            if (found < 0) {
                expression_log(ctx.log, "Argument '%s' unidentified in line %d: '%s'\n", c.c_str(), ctx.number,
                               ctx.line.c_str());
                return false;
            }
            ins.comparator = (ExpressionComparator)found;
        }
        ins.result = index;
        mark_written(type, index);
        program->code.push_back(ins);
        return true;
    }
};

} // namespace

bool compile_expression_program(const char* text, ExpressionProgram* program, std::string* log)
{
    *program = ExpressionProgram();
    if (!text)
        text = "";
    Compiler c;
    c.program = program;
    c.register_limit = 1;
    for (const char* q = text; *q; q++)
        if (*q == '\n')
            c.register_limit++;
    LineContext ctx;
    ctx.log = log;
    std::vector<std::string> fields;
    const char* p = text;
    while (*p) {
        const char* eol = strchr(p, '\n');
        if (!eol)
            eol = p + strlen(p);
        ctx.number++;
        ctx.line.assign(p, (size_t)(eol - p));
        if (!ctx.line.empty() && ctx.line.back() == '\r')
            ctx.line.pop_back();
        p = *eol ? eol + 1 : eol;
        fields.clear();
        for (size_t k = 0; k < ctx.line.size();) {
            while (k < ctx.line.size() && is_blank(ctx.line[k]))
                k++;
            size_t start = k;
            while (k < ctx.line.size() && !is_blank(ctx.line[k]))
                k++;
            if (k > start)
                fields.emplace_back(ctx.line, start, k - start);
        }
        if (fields.empty())
            continue;
        if (fields[0] == "return") {
            ExpressionInstruction ins;
            ins.op = expr_return;
            ins.arg_count = 1;
            if (fields.size() != 2) {
                expression_log(log, "The 'return' command is missing or invalid\n");
                return false;
            }
            if (!c.operand(fields[1], ctx, &ins.arg[0]))
                return false;
            program->code.push_back(ins);
            return true;  // the program ends here
        }
        if (!c.line(fields, ctx))
            return false;
    }
    expression_log(log, "The 'return' command is missing or invalid\n");
    return false;
}

static inline double as_double(const ExpressionOperand& o, const double* d, const int64_t* iv)
{
    switch (o.kind) {
    case expr_double_register: return d[o.reg];
    case expr_int_register: return (double)iv[o.reg];
    default: return o.value;
    }
}

static inline int64_t as_integer(const ExpressionOperand& o, const double* d, const int64_t* iv)
{
    return o.kind == expr_int_register ? iv[o.reg] : expression_double_to_integer(as_double(o, d, iv));
}

double run_expression_program(const ExpressionProgram& program)
{
    // Expressions are short; keep their registers on the stack unless one is not.
    double d_small[32];
    int64_t i_small[32];
    std::vector<double> d_big;
    std::vector<int64_t> i_big;
    double* d = d_small;
    int64_t* iv = i_small;
    if (program.double_registers > 32) {
        d_big.assign((size_t)program.double_registers, 0.0);
        d = d_big.data();
    }
    if (program.int_registers > 32) {
        i_big.assign((size_t)program.int_registers, 0);
        iv = i_big.data();
    }
    for (const ExpressionInstruction& ins : program.code) {
        double a = ins.arg_count > 0 && ins.op != expr_call ? as_double(ins.arg[0], d, iv) : 0.0;
        double b = ins.arg_count > 1 && ins.op != expr_call ? as_double(ins.arg[1], d, iv) : 0.0;
        switch (ins.op) {
        case expr_add: d[ins.result] = a + b; break;
        case expr_sub: d[ins.result] = a - b; break;
        case expr_mul: d[ins.result] = a * b; break;
        case expr_div: d[ins.result] = a / b; break;
        case expr_mod: d[ins.result] = std::fmod(a, b); break;
        case expr_pow: d[ins.result] = std::pow(a, b); break;
        case expr_cmp: {
            bool r = false;
            switch (ins.comparator) {
            case expr_eq: r = a == b; break;
            case expr_lt: r = a < b; break;
            case expr_gt: r = a > b; break;
            case expr_le: r = a <= b; break;
            case expr_ge: r = a >= b; break;
            case expr_ne: r = a != b; break;
            }
            iv[ins.result] = r ? 1 : 0;
            break;
        }
        case expr_call: {
            const ExpressionFunction& f = expression_functions[ins.function];
            double r;
            if (f.i1)
                r = f.i1(as_integer(ins.arg[0], d, iv));
            else if (f.d1)
                r = f.d1(as_double(ins.arg[0], d, iv));
            else if (f.d2)
                r = f.d2(as_double(ins.arg[0], d, iv), as_double(ins.arg[1], d, iv));
            else
                r = f.d3(as_double(ins.arg[0], d, iv), as_double(ins.arg[1], d, iv), as_double(ins.arg[2], d, iv));
            d[ins.result] = r;
            break;
        }
        case expr_return: return a;
        }
    }
    return NAN;
}
