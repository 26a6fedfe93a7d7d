// Choosing transform sizes: the engine only ever transforms sizes whose prime factors
// are 2, 3 and 5, so the fast radix passes are the only ones it meets.
#pragma once

// First entry >= n of the 245-entry table of fast sizes (60 for every n <= 60); beyond the
// table, the smallest m >= n with prime factors 2, 3 and 5 only.
int next_fast_size(int n);
// Smallest m >= n with prime factors 2, 3 and 5 only; 0 gives 0.
int next_smooth_size(int n);
// 2 for n < 2, else the largest prime dividing n.
int largest_prime_factor(int n);
