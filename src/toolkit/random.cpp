#include "toolkit/random.h"

#include <deque>

#include "platform/platform.h"

namespace {
uint32_t g_seed = 0;
// Values queued by tests; each call of Random(n) or Random() takes the next one first.
std::deque<double> g_scripted;

uint32_t Next() {
  g_seed = g_seed * 134775813u + 1u;  // wraps modulo 2^32 by unsigned arithmetic
  return g_seed;
}
}  // namespace

int Random(int n) {
  if (!g_scripted.empty()) {
    double v = g_scripted.front();
    g_scripted.pop_front();
    int k = static_cast<int>(v);
    if (n <= 0) return 0;
    return ((k % n) + n) % n;
  }
  uint32_t s = Next();
  if (n <= 0) return 0;
  return static_cast<int>((static_cast<uint64_t>(s) * static_cast<uint32_t>(n)) >> 32);
}

double Random() {
  if (!g_scripted.empty()) {
    double v = g_scripted.front();
    g_scripted.pop_front();
    return v;
  }
  return static_cast<double>(Next()) / 4294967296.0;
}

void PushScriptedRandom(double value) { g_scripted.push_back(value); }

void ClearScriptedRandom() { g_scripted.clear(); }

size_t ScriptedRandomLeft() { return g_scripted.size(); }

void Randomize() { g_seed = platform::Get().clock->Milliseconds(); }

uint32_t RandSeed() { return g_seed; }

void SetRandSeed(uint32_t seed) { g_seed = seed; }
