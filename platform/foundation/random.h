#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <random>

namespace platform {

// The system's random source: a uniform index below a count.
class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // A uniform index in [0, count); 0 when count is 0.
  virtual size_t uniformIndex(size_t count) = 0;
};

// Uniform, thread-safe; seeded from the system unless a seed is given (tests).
class SystemRandom final : public RandomSource {
 public:
  SystemRandom();
  explicit SystemRandom(std::uint64_t seed);
  size_t uniformIndex(size_t count) override;

 private:
  std::mutex mutex_;
  std::mt19937_64 engine_;
};

}  // namespace platform
