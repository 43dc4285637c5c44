#include "app/utils.h"

#include <atomic>
#include <charconv>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/process.h"
#include "platform/foundation/user_defaults.h"
#include "shared_library/support/utility_wrapper.h"

namespace {

// Lives in the process only, so every launch starts without having asked.
struct ReviewFlag {
  std::atomic<bool> asked{false};
};

std::atomic<bool>& askedFlag() {
  return platform::Process::current().shared<ReviewFlag>([] { return std::make_shared<ReviewFlag>(); })->asked;
}

enum class Threshold { off, value };

// The threshold's text: empty or not a decimal integer within 64 bits gives 0; a zero integer
// switches the prompt off.
std::pair<Threshold, std::int64_t> parseThreshold(const std::string& text) {
  const char* first = text.data();
  const char* last = first + text.size();
  const char* digits = first;
  if (digits != last && (*digits == '+' || *digits == '-')) ++digits;
  if (digits == last) return {Threshold::value, 0};
  for (const char* p = digits; p != last; ++p)
    if (*p < '0' || *p > '9') return {Threshold::value, 0};
  // from_chars takes a minus but no plus; the grammar above has already been checked
  std::int64_t value = 0;
  const auto [end, ec] = std::from_chars(*first == '-' ? first : digits, last, value);
  if (ec != std::errc() || end != last) return {Threshold::value, 0};
  if (value == 0) return {Threshold::off, 0};
  return {Threshold::value, value};
}

// "u.f.e" as text: a JSON integer counts as its decimal text; anything else is no threshold.
std::optional<std::string> thresholdText() {
  const auto value = UtilityWrapper::valueForEventKey(Utils::kThresholdKey);
  if (!value) return std::nullopt;
  if (value->is_string()) return value->get<std::string>();
  if (value->is_number_integer()) return value->dump();
  return std::nullopt;
}

}  // namespace

bool Utils::hasAskedForReview() { return askedFlag().load(); }

bool Utils::shouldAskForReview() {
  auto& asked = askedFlag();
  if (asked.load()) return false;
  // until the service configures a threshold the prompt stays off
  const auto text = thresholdText();
  if (!text) return false;
  const auto [kind, threshold] = parseThreshold(*text);
  if (kind == Threshold::off) return false;

  const auto defaults = platform::UserDefaults::standard();
  // built in place: GCC's sanitizer builds warn on a moved-from PlistValue temporary
  const auto store = [&](std::int64_t n) {
    defaults->setObject(std::optional<platform::PlistValue>(std::in_place, n), kLaunchCountKey);
  };
  const std::int64_t count = defaults->integerForKey(kLaunchCountKey);
  if (count >= threshold) {
    asked.store(true);
    store(0);
    return true;
  }
  store(count + 1);
  return false;
}
