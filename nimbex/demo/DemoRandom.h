// The randomness of the demo generators: values drawn through fixed arithmetic from the 64-bit
// Mersenne twister, so that a seed gives the same site and the same photographs with any
// standard library.
#pragma once

#include <cstdint>
#include <random>

class CRandom {
 public:
  explicit CRandom(uint64_t seed) : m_Engine(seed) {}
  double Uniform() { return double(m_Engine() >> 11) * 0x1.0p-53; }  // [0, 1)
  double Between(double low, double high) { return low + (high - low) * Uniform(); }
  int Below(int count) { return int(Uniform() * count); }

  // [0, 1) in steps of 1/65536: plenty for the values drawn per point.
  double Coarse() { return double(NextChunk()) * 0x1.0p-16; }
  // Zero-mean noise within +-spread, denser towards 0: the sum of two 8-bit uniforms.
  double Noise(double spread) {
    const unsigned chunk = NextChunk();
    return (double((chunk & 0xFF) + (chunk >> 8) + 1) * 0x1.0p-8 - 1) * spread;
  }

 private:
  // 16 bits at a time, four from each draw: the engine is the larger cost per point otherwise.
  unsigned NextChunk() {
    if (m_ChunksLeft == 0) {
      m_Bits = m_Engine();
      m_ChunksLeft = 4;
    }
    const unsigned chunk = unsigned(m_Bits & 0xFFFF);
    m_Bits >>= 16;
    --m_ChunksLeft;
    return chunk;
  }

  std::mt19937_64 m_Engine;
  uint64_t m_Bits = 0;
  int m_ChunksLeft = 0;
};

// A well-spread 64-bit value from two: seeds for the parts of a generated thing.
inline uint64_t Mix(uint64_t a, uint64_t b) {
  uint64_t z = a * 0x9E3779B97F4A7C15ull + b + 0x632BE59BD9B4E019ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}
