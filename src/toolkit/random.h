// The runtime's one random generator: a 32-bit linear congruential generator
// (seed := seed * 134775813 + 1), so that a given seed always gives the same sequence.
#pragma once

#include <cstddef>
#include <cstdint>

// Uniform integer in 0 .. n - 1: the high 32 bits of the new seed times n. For n <= 0 the result
// is 0 (the generator still steps, so sequences stay aligned).
int Random(int n);
// Uniform real in [0, 1): the new seed divided by 2^32.
double Random();
// Seeds the generator from the platform clock.
void Randomize();
// The current seed.
uint32_t RandSeed();
// Sets the seed.
void SetRandSeed(uint32_t seed);

// Tests force the draws: queued values are returned before the generator is used, by Random(n)
// (as the integer value modulo n) and by Random() (as the value itself). Re-seeding keeps them.
void PushScriptedRandom(double value);
void ClearScriptedRandom();
size_t ScriptedRandomLeft();
