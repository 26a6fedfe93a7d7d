// Cost of reading one number through the evaluator: plain numbers dominate archive reading,
// short expressions come from typed fields.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "support/expression.h"

static void bench_plain_number(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(evaluate_expression("44100"));
}
BENCHMARK(bench_plain_number);

// The C library's conversion alone, the floor under any number reader.
static void bench_strtod_alone(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(strtod("44100", nullptr));
}
BENCHMARK(bench_strtod_alone);

static void bench_short_expression(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(evaluate_expression("2^-3*(1+2) + min(1;6, sin(pi/4))"));
}
BENCHMARK(bench_short_expression);

// Linear growth: the time per term stays flat as the text grows.
static void bench_long_sum(benchmark::State& state)
{
    std::string text = "1";
    for (int64_t k = 0; k < state.range(0); k++)
        text += "+1";
    for (auto _ : state)
        benchmark::DoNotOptimize(evaluate_expression(text.c_str()));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(bench_long_sum)->RangeMultiplier(10)->Range(100, 100000)->Complexity(benchmark::oN);

static void bench_deep_nesting(benchmark::State& state)
{
    std::string text = std::string((size_t)state.range(0), '(') + "1" + std::string((size_t)state.range(0), ')');
    for (auto _ : state)
        benchmark::DoNotOptimize(evaluate_expression(text.c_str()));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(bench_deep_nesting)->RangeMultiplier(10)->Range(100, 100000)->Complexity(benchmark::oN);

BENCHMARK_MAIN();
