// The program's shared pseudo-random generator, used by Add Noise and Splash.

#include "imageeditor/effects/Effects.h"

#include <atomic>
#include <chrono>

namespace {
// Only one effect runs at a time; the atomic merely keeps reads and writes
// from different threads well defined.
std::atomic<uint32_t> g_seed{0};
}  // namespace

uint32_t RandomBelow(uint32_t n)
{
  const uint32_t seed = g_seed.load(std::memory_order_relaxed) * 134775813u + 1u;
  g_seed.store(seed, std::memory_order_relaxed);
  return uint32_t((uint64_t(seed) * n) >> 32);
}

uint32_t RandomSeed()
{
  return g_seed.load(std::memory_order_relaxed);
}

void SetRandomSeed(uint32_t seed)
{
  g_seed.store(seed, std::memory_order_relaxed);
}

void RandomizeFromClock()
{
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  SetRandomSeed(uint32_t(uint64_t(ticks)));
}
