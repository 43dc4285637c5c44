#include "app/utils.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/plist.h"
#include "platform/foundation/user_defaults.h"
#include "platform/testing/sandbox.h"
#include "tests/shared_library/remote_values_fixture.h"

namespace {

using nlohmann::json;
using platform::PlistValue;
using platform::UserDefaults;
using platform::testing::Sandbox;

std::optional<PlistValue> storedCount() { return UserDefaults::standard()->objectForKey(Utils::kLaunchCountKey); }

// One check: the answer, and what "App_Launch_Count" holds afterwards (none: what it held before
// the first check).
struct Check {
  bool answer;
  std::optional<std::int64_t> count;
};

struct GateCase {
  const char* name;
  std::optional<json> threshold;  // none: "u.f.e" absent
  std::optional<PlistValue> countBefore;
  std::vector<std::vector<Check>> runs;  // one list of checks per launch
};

void runGate(const GateCase& c) {
  SCOPED_TRACE(c.name);
  Sandbox sandbox;
  json configuration = {{"other", "1"}};
  if (c.threshold) configuration[Utils::kThresholdKey] = *c.threshold;
  remote_values_testing::cacheConfiguration(configuration);
  if (c.countBefore) UserDefaults::standard()->setObject(*c.countBefore, Utils::kLaunchCountKey);
  for (size_t run = 0; run < c.runs.size(); ++run) {
    if (run > 0) sandbox.relaunch();
    EXPECT_FALSE(Utils::hasAskedForReview());
    bool askedThisRun = false;
    for (size_t i = 0; i < c.runs[run].size(); ++i) {
      const auto& check = c.runs[run][i];
      SCOPED_TRACE("run " + std::to_string(run + 1) + ", check " + std::to_string(i + 1));
      EXPECT_EQ(Utils::shouldAskForReview(), check.answer);
      EXPECT_EQ(storedCount(), check.count ? std::optional<PlistValue>(*check.count) : c.countBefore);
      askedThisRun = askedThisRun || check.answer;
      EXPECT_EQ(Utils::hasAskedForReview(), askedThisRun);
    }
  }
}

TEST(ReviewGate, ThresholdsOverLaunches) {
  const std::vector<GateCase> cases = {
      {"3 counts three checks, then asks",
       json("3"),
       std::nullopt,
       {{{false, 1}, {false, 2}}, {{false, 3}, {true, 0}, {false, 0}, {false, 0}}, {{false, 1}}}},
      {"3 as a JSON integer", json(3), std::nullopt, {{{false, 1}, {false, 2}, {false, 3}, {true, 0}}}},
      {"+3", json("+3"), std::nullopt, {{{false, 1}}}},
      {"3 with a counter of 5 left over", json("3"), PlistValue(5), {{{true, 0}, {false, 0}}}},
      {"0 switches the prompt off",
       json("0"),
       std::nullopt,
       {{{false, std::nullopt}, {false, std::nullopt}}, {{false, std::nullopt}}}},
      {"empty asks on each run's first check",
       json(""),
       std::nullopt,
       {{{true, 0}, {false, 0}}, {{true, 0}, {false, 0}}}},
      {"leading space", json(" 3"), std::nullopt, {{{true, 0}, {false, 0}}}},
      {"trailing space", json("3 "), std::nullopt, {{{true, 0}}}},
      {"letters", json("abc"), std::nullopt, {{{true, 0}, {false, 0}}, {{true, 0}}}},
      {"negative", json("-2"), std::nullopt, {{{true, 0}, {false, 0}}}},
      {"a fraction as text", json("3.5"), std::nullopt, {{{true, 0}}}},
      {"a sign without digits", json("+"), std::nullopt, {{{true, 0}}}},
      {"two signs", json("+-3"), std::nullopt, {{{true, 0}}}},
      {"beyond 64 bits", json("9223372036854775808"), std::nullopt, {{{true, 0}}}},
      {"the largest 64-bit value",
       json("9223372036854775807"),
       PlistValue(9223372036854775806),
       {{{false, 9223372036854775807}}}},
      {"the smallest 64-bit value", json("-9223372036854775808"), std::nullopt, {{{true, 0}}}},
  };
  for (const auto& c : cases) runGate(c);
}

// A zero threshold and anything that is no threshold leave the flag and the counter alone.
TEST(ReviewGate, OffWithNothingReadOrWritten) {
  const std::vector<GateCase> cases = {
      {"absent", std::nullopt, std::nullopt, {{{false, std::nullopt}, {false, std::nullopt}}, {{false, std::nullopt}}}},
      {"absent with a counter", std::nullopt, PlistValue(7), {{{false, std::nullopt}}}},
      {"+0", json("+0"), PlistValue(7), {{{false, std::nullopt}}}},
      {"-0", json("-0"), std::nullopt, {{{false, std::nullopt}}}},
      {"000", json("000"), std::nullopt, {{{false, std::nullopt}}}},
      {"JSON 0", json(0), std::nullopt, {{{false, std::nullopt}}}},
      {"null", json(nullptr), std::nullopt, {{{false, std::nullopt}}}},
      {"a real", json(3.5), std::nullopt, {{{false, std::nullopt}}}},
      {"a Boolean", json(true), std::nullopt, {{{false, std::nullopt}}}},
      {"an array", json::array({"3"}), std::nullopt, {{{false, std::nullopt}}}},
      {"an object", json{{"n", 3}}, std::nullopt, {{{false, std::nullopt}}}},
  };
  for (const auto& c : cases) runGate(c);
}

// The counter is read as the platform reads an integer from the defaults.
TEST(ReviewGate, CounterOfAnotherKind) {
  const std::vector<GateCase> cases = {
      {"text with a leading integer", json("3"), PlistValue("2 apples"), {{{false, 3}, {true, 0}}}},
      {"a real, truncated", json("3"), PlistValue(2.9), {{{false, 3}}}},
      {"a Boolean", json("3"), PlistValue(true), {{{false, 2}}}},
      {"a dictionary", json("3"), PlistValue(PlistValue::Dictionary{}), {{{false, 1}}}},
      {"a negative integer", json("3"), PlistValue(-4), {{{false, -3}}}},
  };
  for (const auto& c : cases) runGate(c);
}

TEST(ReviewGate, NoCachedConfigurationKeepsThePromptOff) {
  Sandbox sandbox;
  EXPECT_FALSE(Utils::shouldAskForReview());
  EXPECT_EQ(storedCount(), std::nullopt);
}

}  // namespace
