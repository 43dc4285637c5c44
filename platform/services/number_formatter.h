#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform {

// The platform's number formatter in its default (no style) configuration, reading whole numbers.
class NSNumberFormatter {
 public:
  // An optional sign and decimal digits, nothing else (no grouping, no blanks), within 64 bits;
  // anything else gives none.
  std::optional<std::int64_t> numberFromString(std::string_view text) const;
};

}  // namespace platform
