#pragma once

#include <compare>
#include <string_view>

namespace LKSCommon {

// Orders system version texts by their dot-separated numbers ("9.3" < "14.0" < "14.10"); a
// missing number counts as 0 ("14" equals "14.0"). A part that does not start with a digit
// counts as 0; only its leading digits count.
std::strong_ordering compareSystemVersions(std::string_view a, std::string_view b);

}  // namespace LKSCommon
