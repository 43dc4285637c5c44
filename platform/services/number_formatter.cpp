#include "platform/services/number_formatter.h"

#include <charconv>

namespace platform {

std::optional<std::int64_t> NSNumberFormatter::numberFromString(std::string_view text) const {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  if (text.empty() || text == "-") return std::nullopt;
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace platform
