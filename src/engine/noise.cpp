#include "engine/noise.h"

#include <atomic>

static std::atomic<uint32_t> generator_state{1u};

static uint32_t step(uint32_t state) { return state * 214013u + 2531011u; }
static uint32_t output(uint32_t state) { return (state >> 16) & 0x7FFFu; }

void random_seed(uint32_t seed) { generator_state.store(seed); }
uint32_t random_state() { return generator_state.load(); }

int random_next()
{
    uint32_t old = generator_state.load(std::memory_order_relaxed), next;
    do
        next = step(old);
    while (!generator_state.compare_exchange_weak(old, next, std::memory_order_relaxed));
    return (int)output(next);
}

// The noise value of the three draws that follow `state`; `state` is left after the third.
static float noise_after(uint32_t& state)
{
    uint32_t r1 = output(state = step(state));
    uint32_t r2 = output(state = step(state));
    uint32_t r3 = output(state = step(state));
    uint32_t v = ((r1 << 15) + r2) * 32768u + r3;  // unsigned: wraps modulo 2^32
    return (float)v * 4.6566128730773926e-10f - 1.0f;
}

float white_noise()
{
    uint32_t old = generator_state.load(std::memory_order_relaxed), next;
    float value;
    do {
        next = old;
        value = noise_after(next);
    } while (!generator_state.compare_exchange_weak(old, next, std::memory_order_relaxed));
    return value;
}

// The state `steps` draws after `state`, by composing the affine step with itself
// (x -> a x + c, squared per bit of `steps`), so that a long run is skipped at once.
static uint32_t jump(uint32_t state, unsigned long long steps)
{
    uint32_t mul = 214013u, add = 2531011u;
    while (steps) {
        if (steps & 1)
            state = state * mul + add;
        add = add * mul + add;
        mul = mul * mul;
        steps >>= 1;
    }
    return state;
}

void white_noise_fill(float* out, long long count)
{
    if (!out || count <= 0)
        return;
    // Claim the whole run (three draws per value) in one step of the shared state, then
    // compute the values from the state the run started at.
    uint32_t old = generator_state.load(std::memory_order_relaxed);
    while (!generator_state.compare_exchange_weak(old, jump(old, 3ull * (unsigned long long)count),
                                                  std::memory_order_relaxed)) {
    }
    uint32_t state = old;
    for (long long i = 0; i < count; i++)
        out[i] = noise_after(state);
}
