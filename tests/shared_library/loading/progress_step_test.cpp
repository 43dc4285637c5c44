#include "shared_library/loading/progress_step.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/testing/scripted_random.h"

namespace {

TEST(ProgressStep, ExactSingleStepsForDraws) {
  struct Case {
    std::uint32_t draw;
    double widened;
  };
  const std::vector<Case> cases = {
      {0, 0.070000000298023224},
      {1u << 23, 0.094999998807907104},
      // rounded after the multiply and again after the add; a fused multiply-add gives 0.11999999731779099
      {(1u << 24) - 1, 0.11999998986721039},
      {1u << 24, 0.11999999731779099},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.draw);
    EXPECT_EQ(static_cast<double>(progressStepForDraw(c.draw)), c.widened);
  }
}

TEST(ProgressStep, DrawsAnIndexUpToTwoToTheTwentyFourInclusive) {
  platform::testing::ScriptedRandom random({1u << 24});
  EXPECT_EQ(randomProgressStep(random), 0.12f);
  EXPECT_EQ(random.countsAsked(), (std::vector<std::size_t>{(1u << 24) + 1}));
}

}  // namespace
