// The program's one random generator and the white noise that synthesis draws from it.
// The generator is linear congruential: state = state * 214013 + 2531011 modulo 2^32, each
// draw giving (state >> 16) & 0x7FFF. Several threads draw at once (noise carriers, the noise
// bank); every draw is one atomic step of the shared state, so no draw is lost or repeated.
#pragma once
#include <cstdint>

// Sets the state (start-up seeds it from the clock).
void random_seed(uint32_t seed);
uint32_t random_state();
// One draw, 0 .. 32767.
int random_next();
// Three successive draws r1, r2, r3 joined into v = ((r1 * 2^15 + r2) * 2^15 + r3) mod 2^32,
// returned as v * 2^-31 - 1 in single precision: uniform over [-1, 1). (The few largest v
// round to exactly 1.0f in single precision.) The three draws are taken in one atomic step.
float white_noise();
// Fills `count` values with white_noise(), taking the whole run in one atomic step, so
// that the run is the same sequence another thread's draws would not interleave with.
void white_noise_fill(float* out, long long count);
