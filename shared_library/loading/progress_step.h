#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/foundation/random.h"

// The splash screen's random step: a single-precision number uniform over [0.07, 0.12], both
// bounds included. A draw r from 0 to 2^24 inclusive gives 0.07 + (r * 2^-24) * (0.12 - 0.07),
// each operation in single precision (never fused), and r = 2^24 gives 0.12 exactly.
inline constexpr std::uint32_t kProgressStepDraws = 1u << 24;

float progressStepForDraw(std::uint32_t draw);
// Draws from the source (an index below 2^24 + 1).
float randomProgressStep(platform::RandomSource& random);
