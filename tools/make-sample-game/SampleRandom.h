// The sample generator's own random numbers: splitmix64, so that a seed gives the same archive everywhere
// (std::rand and the standard distributions differ between standard libraries).
#pragma once

#include <cstdint>

namespace SampleGame
{
namespace Imp
{

inline uint64_t MixBits(uint64_t Value)
{
    Value = (Value ^ (Value >> 30)) * 0xBF58476D1CE4E5B9ull;
    Value = (Value ^ (Value >> 27)) * 0x94D049BB133111EBull;
    return Value ^ (Value >> 31);
}

// A seed for a sub-stream (one entry, one texture) from a parent seed and an index.
inline uint64_t DeriveSeed(uint64_t Seed, uint64_t Index)
{
    return MixBits(Seed + 0x9E3779B97F4A7C15ull * (Index + 1));
}

class FRandom
{
public:
    explicit FRandom(uint64_t Seed) : State(Seed) {}

    uint64_t Next()
    {
        State += 0x9E3779B97F4A7C15ull;
        return MixBits(State);
    }
    // 0 to Count - 1 (0 when Count is 0).
    uint32_t Below(uint32_t Count) { return uint32_t(((Next() >> 32) * Count) >> 32); }
    // Lo to Hi, both included.
    int32_t Range(int32_t Lo, int32_t Hi) { return Lo + int32_t(Below(uint32_t(Hi - Lo + 1))); }
    bool Chance(uint32_t PerThousand) { return Below(1000) < PerThousand; }

private:
    uint64_t State;
};

} // namespace Imp
} // namespace SampleGame
