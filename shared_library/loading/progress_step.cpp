// Built with floating-point contraction off: a fused multiply-add would round once where the
// step must round after the multiply and again after the add.
#include "shared_library/loading/progress_step.h"

namespace {
constexpr float kLower = 0.07f;
constexpr float kUpper = 0.12f;
}  // namespace

float progressStepForDraw(std::uint32_t draw) {
  if (draw >= kProgressStepDraws) return kUpper;
  const float unit = static_cast<float>(draw) * (1.0f / static_cast<float>(kProgressStepDraws));
  const float width = kUpper - kLower;
  const float scaled = unit * width;
  return kLower + scaled;
}

float randomProgressStep(platform::RandomSource& random) {
  const auto draw = random.uniformIndex(static_cast<std::size_t>(kProgressStepDraws) + 1);
  return progressStepForDraw(static_cast<std::uint32_t>(draw));
}
