#include <gtest/gtest.h>

#include <compare>
#include <string>
#include <vector>

#include "shared_library/support/system_version.h"

namespace {

using LKSCommon::compareSystemVersions;

TEST(SystemVersion, ComparesNumbersBetweenTheDots) {
  struct Case {
    std::string a, b;
    std::strong_ordering expected;
  };
  const auto less = std::strong_ordering::less;
  const auto equal = std::strong_ordering::equal;
  const auto greater = std::strong_ordering::greater;
  const std::vector<Case> cases{
      {"13.7", "14.0", less},        {"14.0", "14.0", equal},       {"14", "14.0", equal},
      {"14.0.0", "14", equal},       {"9.3", "14.0", less},         {"14.10", "14.9", greater},
      {"16.4", "14.0", greater},     {"14.0.1", "14.0", greater},   {"014.0", "14", equal},
      {"", "0", equal},              {"", "14.0", less},            {"14.0b2", "14.0", equal},
      {"beta", "0", equal},          {"99999999999999999999.1", "14.0", greater},
      {"100000000000000000000", "99999999999999999999", greater},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(compareSystemVersions(c.a, c.b), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(compareSystemVersions(c.b, c.a), 0 <=> c.expected) << c.b << " vs " << c.a;
  }
}

}  // namespace
