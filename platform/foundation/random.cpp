#include "platform/foundation/random.h"

namespace platform {

SystemRandom::SystemRandom() : engine_(std::random_device{}()) {}

SystemRandom::SystemRandom(std::uint64_t seed) : engine_(seed) {}

size_t SystemRandom::uniformIndex(size_t count) {
  if (count == 0) return 0;
  std::lock_guard lock(mutex_);
  return std::uniform_int_distribution<size_t>(0, count - 1)(engine_);
}

}  // namespace platform
