// Rewrites an expression into instruction text: tokenising, implied multiplication and
// reduction level by level. Nothing here recurses, so neither the length of the text nor the
// depth of its brackets is limited by the stack; every pass is linear in the number of tokens.
#include "support/expression.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <queue>

#include "support/expression_internal.h"

namespace {

// The text renderer shows a message between these two private-use characters highlighted.
const char hl_on[] = "\xEE\x80\x83";
const char hl_off[] = "\xEE\x80\x89";

enum TokenKind : uint8_t { tok_value, tok_operator, tok_variable, tok_function, tok_open, tok_function_open,
                           tok_close, tok_function_close, tok_comma, tok_result };

struct Token {
    TokenKind kind;
    int start = 0, length = 0;  // span in the text
    int partner = -1;           // matching bracket
    int precedence = 0;
    bool follow_mul = false;    // may be followed by an implied multiplication
    bool precede_mul = false;   // may be preceded by one
    std::string text;           // as written into the program
    int reg = -1;               // register of a result
    bool reg_int = false;
};

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_identifier_char(char c) { return is_letter(c) || is_digit(c) || c == '_' || c == '.'; }
bool is_operator_char(char c) { return c && strchr("-+*/%^=<>!", c) != nullptr; }
bool is_operand(TokenKind k) { return k == tok_value || k == tok_variable || k == tok_result; }

std::string format_double(double v)
{
    char buf[40];
    snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

int operator_precedence(const std::string& op)
{
    char c = op[0];
    if (c == '+' || c == '-')
        return 2;
    if (c == '*' || c == '/' || c == '%')
        return 3;
    if (c == '^')
        return 5;
    return 1;  // comparisons; a run that is no comparator fails at compilation
}

// Reads the tokens, inserting the implied multiplications as it goes and pairing the brackets.
// Positions in messages count the tokens as read, without the inserted '*'.
bool tokenise(const char* s, std::vector<Token>& out, std::string* log, bool trace)
{
    size_t i = 0;
    bool operand_expected = true;
    std::vector<int> open;
    int implied = 0;
    out.reserve(std::min<size_t>(strlen(s) + 1, 1024));
    auto push = [&](Token&& t) {
        if (!out.empty() && out.back().follow_mul && t.precede_mul) {
            Token mul;
            mul.kind = tok_operator;
            mul.start = t.start;
            mul.text = "*";
            mul.precedence = 3;
            out.push_back(std::move(mul));
            implied++;
        }
        out.push_back(std::move(t));
    };
    for (;;) {
        while (is_space(s[i]))
            i++;
        char c = s[i];
        if (!c)
            break;
        Token t;
        t.start = (int)i;
        if (is_digit(c) || !is_operator_char(c)) {
            char* end = nullptr;
            double v = strtod(s + i, &end);
            if (end != s + i) {
                size_t j = (size_t)(end - s);
                double sum = v, divisor = 12.0;
                bool dozenal = false;
                // Each ';' directly followed by a number adds it as the next duodecimal place.
                while (s[j] == ';' && s[j + 1] && !is_space(s[j + 1])) {
                    char* e2 = nullptr;
                    double digit = strtod(s + j + 1, &e2);
                    if (e2 == s + j + 1)
                        break;
                    sum += digit / divisor;
                    divisor *= 12.0;
                    j = (size_t)(e2 - s);
                    dozenal = true;
                }
                t.kind = tok_value;
                t.length = (int)(j - i);
                t.text = dozenal ? format_double(sum) : std::string(s + i, j - i);
                t.follow_mul = t.precede_mul = true;
                if (trace)
                    expression_log(log, "Value, %d chars\n", t.length);
                push(std::move(t));
                i = j;
                operand_expected = false;
                continue;
            }
        }
        if (is_letter(c)) {
            size_t j = i;
            while (j - i < 32 && is_identifier_char(s[j]))
                j++;
            t.length = (int)(j - i);
            t.text.assign(s + i, j - i);
            t.precede_mul = true;
            if (s[j] == '(') {
                t.kind = tok_function;
            } else {
                t.kind = tok_variable;
                t.follow_mul = true;
            }
            if (trace)
                expression_log(log, "%s named '%s', %d chars\n", t.kind == tok_function ? "Function" : "Variable",
                               t.text.c_str(), t.length);
            push(std::move(t));
            i = j;
            operand_expected = false;
            continue;
        }
        if (is_operator_char(c)) {
            size_t run = 0;
            while (run < 32 && is_operator_char(s[i + run]))
                run++;
            if (operand_expected && (c == '+' || c == '-')) {
                // A sign where an operand belongs: 0 - x or 0 + x, binding tighter than * and /.
                Token zero;
                zero.kind = tok_value;
                zero.start = (int)i;
                zero.text = "0";
                push(std::move(zero));
                t.kind = tok_operator;
                t.length = 1;
                t.text.assign(1, c);
                t.precedence = 4;
                if (trace)
                    expression_log(log, "Operator %s, %d chars\n", t.text.c_str(), 1);
                push(std::move(t));
                i++;
                continue;
            }
            size_t len = 1;
            if (c == '^' && (s[i + 1] == '-' || s[i + 1] == '+'))
                len = 2;
            else if (c == '<' || c == '=' || c == '>' || c == '!')
                len = run;
            t.kind = tok_operator;
            t.length = (int)len;
            t.text.assign(s + i, len);
            t.precedence = operator_precedence(t.text);
            if (trace)
                expression_log(log, "Operator %s, %d chars\n", t.text.c_str(), t.length);
            push(std::move(t));
            i += len;
            operand_expected = true;
            continue;
        }
        if (c == ',') {
            t.kind = tok_comma;
            t.length = 1;
            if (trace)
                expression_log(log, "Comma\n");
            push(std::move(t));
            i++;
            operand_expected = true;
            continue;
        }
        if (c == '(') {
            t.length = 1;
            if (!out.empty() && out.back().kind == tok_function) {
                t.kind = tok_function_open;
                if (trace)
                    expression_log(log, "Function bracket open\n");
            } else {
                t.kind = tok_open;
                t.precede_mul = true;
                if (trace)
                    expression_log(log, "Bracket open\n");
            }
            push(std::move(t));
            open.push_back((int)out.size() - 1);
            i++;
            operand_expected = true;
            continue;
        }
        if (c == ')') {
            if (open.empty()) {
                expression_log(log, "%sUnmatched ')' at position %d%s\n", hl_on, (int)out.size() - implied, hl_off);
                return false;
            }
            int partner = open.back();
            open.pop_back();
            t.length = 1;
            t.follow_mul = true;
            t.kind = out[(size_t)partner].kind == tok_function_open ? tok_function_close : tok_close;
            t.partner = partner;
            out[(size_t)partner].partner = (int)out.size();
            if (trace)
                expression_log(log, t.kind == tok_function_close ? "Function bracket close\n" : "Bracket close\n");
            push(std::move(t));
            i++;
            operand_expected = false;
            continue;
        }
        unsigned char u = (unsigned char)c;
        if (u >= 0x20 && u < 0x7F)
            expression_log(log, "%sCharacter '%c' (0x%x) unidentified%s\n", hl_on, c, u, hl_off);
        else
            expression_log(log, "%sCharacter 0x%x unidentified%s\n", hl_on, u, hl_off);
        return false;
    }
    if (!open.empty()) {
        // Every one of them is unmatched; the first is reported.
        int before = 0;
        for (int k = 0; k < open.front(); k++)
            before += out[(size_t)k].kind == tok_operator && out[(size_t)k].length == 0;
        expression_log(log, "%sUnmatched '(' at position %d%s\n", hl_on, open.front() - before, hl_off);
        return false;
    }
    for (int k = 0; trace && k < implied; k++)
        expression_log(log, "Implied '*' operator added\n");
    return true;
}

// First-free register numbering: the lowest free number is taken next.
struct RegisterPool {
    std::priority_queue<int, std::vector<int>, std::greater<int>> free_numbers;
    int next = 0;
    int take()
    {
        if (free_numbers.empty())
            return next++;
        int r = free_numbers.top();
        free_numbers.pop();
        return r;
    }
    void give(int r) { free_numbers.push(r); }
};

struct Reducer {
    const char* text = nullptr;
    std::string* log = nullptr;
    std::vector<Token> tok;
    std::vector<int> prev, next;
    int head = -1;
    RegisterPool doubles, integers;
    std::string program;

    void unlink(int k)
    {
        int p = prev[(size_t)k], n = next[(size_t)k];
        if (p >= 0)
            next[(size_t)p] = n;
        else
            head = n;
        if (n >= 0)
            prev[(size_t)n] = p;
        prev[(size_t)k] = next[(size_t)k] = -2;
    }

    // The operand is consumed by an instruction: its register becomes free again.
    void release(const Token& t)
    {
        if (t.kind == tok_result)
            (t.reg_int ? integers : doubles).give(t.reg);
    }

    void make_result(Token& t, bool integer)
    {
        t.kind = tok_result;
        t.reg_int = integer;
        t.reg = integer ? integers.take() : doubles.take();
        t.text.assign(1, integer ? 'i' : 'd');
        t.text += std::to_string(t.reg);
    }

    bool function_call(int o)
    {
        int c = tok[(size_t)o].partner;
        int name = prev[(size_t)o];
        // Inside, the inner level has left operands separated by single commas.
        std::vector<int> args;
        bool slot_open = true, well_formed = true, any = false;
        for (int t = next[(size_t)o]; t != c; t = next[(size_t)t]) {
            any = true;
            TokenKind k = tok[(size_t)t].kind;
            if (k == tok_comma) {
                well_formed &= !slot_open;
                slot_open = true;
            } else if (is_operand(k) && slot_open) {
                args.push_back(t);
                slot_open = false;
            } else {
                well_formed = false;
            }
        }
        if (any && slot_open)
            well_formed = false;  // a trailing comma
        const Token& nt = tok[(size_t)name];
        if (!well_formed) {
            expression_log(log, "%sEmpty argument in '%.*s'%s\n", hl_on, tok[(size_t)c].start + 1 - nt.start,
                           text + nt.start, hl_off);
            return false;
        }
        int fn = expression_function_find(nt.text.c_str(), nt.text.size());
        // An unknown name gets the signature its arguments suggest; the compiler then names it.
        std::string signature = fn >= 0 ? expression_function_signature(fn) : "f";
        if (fn < 0)
            signature.append(args.size() + 1, 'd');
        std::string args_text;
        for (int a : args) {
            args_text += ' ';
            args_text += tok[(size_t)a].text;
            release(tok[(size_t)a]);
        }
        Token& result = tok[(size_t)name];
        std::string fname = result.text;
        make_result(result, false);
        program += result.text + ' ' + signature + ' ' + fname + args_text + '\n';
        for (int t = o; t != -1;) {
            int after = next[(size_t)t];
            bool last = t == c;
            unlink(t);
            if (last)
                break;
            t = after;
        }
        return true;
    }

    bool plain_bracket(int o)
    {
        int c = tok[(size_t)o].partner;
        int inside = next[(size_t)o];
        if (inside == c || next[(size_t)inside] != c || !is_operand(tok[(size_t)inside].kind)) {
            const Token& ot = tok[(size_t)o];
            expression_log(log, "%sBracket '%.*s' doesn't reduce to one symbol, an operator must be missing.%s\n",
                           hl_on, tok[(size_t)c].start + 1 - ot.start, text + ot.start, hl_off);
            return false;
        }
        unlink(o);
        unlink(c);
        return true;
    }

    bool reduce_operator(int k)
    {
        Token& op = tok[(size_t)k];
        int l = prev[(size_t)k], r = next[(size_t)k];
        bool left = l >= 0 && is_operand(tok[(size_t)l].kind);
        bool right = r >= 0 && is_operand(tok[(size_t)r].kind);
        if (!right && !(r >= 0 && tok[(size_t)r].kind == tok_operator)) {
            expression_log(log, "%sOperator '%.*s' is the final symbol.%s\n", hl_on, (int)op.text.size(),
                           op.text.c_str(), hl_off);
            return false;
        }
        // A missing operand next to another operator is left out of the instruction; the
        // compiler then reports the argument as missing.
        if (op.text == "^-" && right) {
            Token& rt = tok[(size_t)r];
            std::string operand = rt.text;
            release(rt);
            make_result(rt, false);
            program += rt.text + " sub 0 " + operand + '\n';
        }
        static const char* const names[] = { "add", "sub", "mul", "div", "mod", "pow" };
        const char* name = "cmp";
        if (op.precedence > 1) {
            const char* chars = "+-*/%^";
            name = names[strchr(chars, op.text[0]) - chars];
        }
        std::string line = std::string(" ") + name;
        if (left)
            line += ' ' + tok[(size_t)l].text;
        if (right)
            line += ' ' + tok[(size_t)r].text;
        if (op.precedence == 1)
            line += ' ' + op.text;
        if (left) {
            release(tok[(size_t)l]);
            unlink(l);
        }
        if (right) {
            release(tok[(size_t)r]);
            unlink(r);
        }
        make_result(op, op.precedence == 1);
        program += op.text + line + '\n';
        return true;
    }

    bool run()
    {
        size_t n = tok.size();
        prev.resize(n);
        next.resize(n);
        for (size_t k = 0; k < n; k++) {
            prev[k] = (int)k - 1;
            next[k] = k + 1 < n ? (int)k + 1 : -1;
        }
        head = n ? 0 : -1;
        // Group the tokens by bracket level with a counting sort: a bracket belongs to the level
        // around it, everything else to the level it stands in.
        std::vector<int> depth(n);
        int d = 0, max_depth = 0;
        for (size_t k = 0; k < n; k++) {
            TokenKind kind = tok[k].kind;
            if (kind == tok_close || kind == tok_function_close)
                d--;
            depth[k] = d;
            if (kind == tok_open || kind == tok_function_open)
                d++;
            if (d > max_depth)
                max_depth = d;
        }
        std::vector<int> start((size_t)max_depth + 2, 0);
        for (size_t k = 0; k < n; k++)
            start[(size_t)depth[k] + 1]++;
        for (size_t lv = 1; lv < start.size(); lv++)
            start[lv] += start[lv - 1];
        std::vector<int> order(n), fill(start.begin(), start.end() - 1);
        for (size_t k = 0; k < n; k++)
            order[(size_t)fill[(size_t)depth[k]]++] = (int)k;

        for (int level = max_depth; level >= 0; level--) {
            const int* first = order.data() + start[(size_t)level];
            const int* last = order.data() + start[(size_t)level + 1];
            for (const int* p = first; p != last; p++)
                if (tok[(size_t)*p].kind == tok_function_open && !function_call(*p))
                    return false;
            for (const int* p = first; p != last; p++)
                if (tok[(size_t)*p].kind == tok_open && prev[(size_t)*p] != -2 && !plain_bracket(*p))
                    return false;
            // Highest precedence first; leftmost among equals, rightmost for '^' and for signs.
            // Signs chain through their right operand only, so "--3" must negate 3 first: taken
            // leftmost it would read as (0 - 0) - 3.
            for (int prec = 5; prec >= 1; prec--) {
                if (prec >= 4) {
                    for (const int* p = last; p != first; p--)
                        if (tok[(size_t)p[-1]].kind == tok_operator && tok[(size_t)p[-1]].precedence == prec &&
                            !reduce_operator(p[-1]))
                            return false;
                } else {
                    for (const int* p = first; p != last; p++)
                        if (tok[(size_t)*p].kind == tok_operator && tok[(size_t)*p].precedence == prec &&
                            !reduce_operator(*p))
                            return false;
                }
            }
        }
        int remaining = 0;
        for (int k = head; k >= 0; k = next[(size_t)k])
            remaining++;
        if (remaining != 1 || !is_operand(tok[(size_t)head].kind)) {
            expression_log(log, "%s%d symbols remain instead of the expected 1.%s\n", hl_on, remaining, hl_off);
            return false;
        }
        program += "return " + tok[(size_t)head].text + '\n';
        return true;
    }
};

} // namespace

std::string expression_to_program(const char* text, std::string* log, bool trace)
{
    if (!text)
        text = "";
    Reducer r;
    r.text = text;
    r.log = log;
    if (!tokenise(text, r.tok, log, trace))
        return std::string();
    for (const Token& t : r.tok) {
        if (t.kind == tok_variable && t.text != "pi" && t.text != "e") {
            // Resolved here, before any register exists, so a name can never read one.
            expression_log(log, "Symbol '%.*s' unknown\n", t.length, text + t.start);
            return std::string();
        }
    }
    if (!r.run())
        return std::string();
    return r.program;
}

double evaluate_expression(const char* text, std::string* log)
{
    std::string program = expression_to_program(text, log);
    if (program.empty())
        return NAN;
    ExpressionProgram compiled;
    if (!compile_expression_program(program.c_str(), &compiled, log))
        return NAN;
    return run_expression_program(compiled);
}
