// Any byte string is a possible typed or archived number: evaluation must end without fault,
// and a text that rewrites to a program must compile or be refused with a reason.
#include <cstddef>
#include <cstdint>
#include <string>

#include "support/expression.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);  // stops at an embedded NUL
    std::string log;
    evaluate_expression(text.c_str(), &log);
    std::string trace;
    std::string program = expression_to_program(text.c_str(), &trace, true);
    ExpressionProgram compiled;
    std::string compile_log;
    if (!program.empty() && !compile_expression_program(program.c_str(), &compiled, &compile_log) &&
        compile_log.empty())
        __builtin_trap();
    compile_expression_program(text.c_str(), &compiled, &compile_log);
    return 0;
}
