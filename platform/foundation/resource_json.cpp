#include "platform/foundation/resource_json.h"

#include <cmath>
#include <cstdio>

#include "platform/foundation/console.h"
#include "platform/foundation/files.h"
#include "platform/foundation/json.h"

namespace platform::detail {

namespace {

constexpr std::size_t kQuoteLength = 60;
constexpr std::uintmax_t kMaximumResourceBytes = 1 << 20;

std::string dumped(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string numberText(double n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.15g", n);
  return buf;
}

// Stops as soon as the quote is long enough, so neither a deep nor a large value costs more.
void quoteInto(std::string& out, const nlohmann::json& value) {
  if (out.size() > kQuoteLength) return;
  if (value.is_array() || value.is_object()) {
    out += value.is_array() ? '[' : '{';
    bool first = true;
    for (const auto& [key, item] : value.items()) {
      if (out.size() > kQuoteLength) return;
      if (!first) out += ", ";
      first = false;
      if (value.is_object()) out += dumped(key) + ": ";
      quoteInto(out, item);
    }
    out += value.is_array() ? ']' : '}';
  } else {
    out += dumped(value);
  }
}

std::string rangeText(double lo, double hi) {
  constexpr double kMax = std::numeric_limits<double>::max();
  if (lo == -kMax && hi == kMax) return "a number";
  if (hi == kMax) return "a number of at least " + numberText(lo);
  return "a number within [" + numberText(lo) + ", " + numberText(hi) + "]";
}

std::optional<std::int64_t> wholeValue(const nlohmann::json& value) {
  if (value.is_number_unsigned()) {
    const auto u = value.get<std::uint64_t>();
    if (u > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return std::nullopt;
    return static_cast<std::int64_t>(u);
  }
  if (value.is_number_integer()) return value.get<std::int64_t>();
  if (!value.is_number_float()) return std::nullopt;
  const double d = value.get<double>();
  // -2^63 <= d < 2^63: exactly the doubles an int64 holds
  if (!(d >= -0x1p63 && d < 0x1p63) || d != std::trunc(d)) return std::nullopt;
  return static_cast<std::int64_t>(d);
}

}  // namespace

void resourceFault(std::string reason) { throw ResourceFault{std::move(reason)}; }

std::string quote(const nlohmann::json& value) {
  std::string out;
  quoteInto(out, value);
  if (out.size() <= kQuoteLength) return out;
  std::size_t end = kQuoteLength;
  while (end > 0 && (static_cast<unsigned char>(out[end]) & 0xC0) == 0x80) --end;  // whole UTF-8 characters
  return out.substr(0, end) + "...";
}

const nlohmann::json& object(const nlohmann::json& value, const std::string& what) {
  if (!value.is_object()) resourceFault(what + " must be an object, not " + quote(value));
  return value;
}

const nlohmann::json& array(const nlohmann::json& value, const std::string& what) {
  if (!value.is_array()) resourceFault(what + " must be a list, not " + quote(value));
  return value;
}

const nlohmann::json& array(const nlohmann::json& value, const std::string& what, std::size_t count) {
  if (!value.is_array() || value.size() != count)
    resourceFault(what + " must be a list of " + std::to_string(count) + ", not " + quote(value));
  return value;
}

std::string text(const nlohmann::json& value, const std::string& what) {
  if (!value.is_string()) resourceFault(what + " must be a text, not " + quote(value));
  return value.get<std::string>();
}

bool boolean(const nlohmann::json& value, const std::string& what) {
  if (!value.is_boolean()) resourceFault(what + " must be true or false, not " + quote(value));
  return value.get<bool>();
}

double number(const nlohmann::json& value, const std::string& what, double lo, double hi) {
  const double n = value.is_number() ? value.get<double>() : NAN;
  if (!(n >= lo && n <= hi)) resourceFault(what + " must be " + rangeText(lo, hi) + ", not " + quote(value));
  return n;
}

std::int64_t wholeNumber(const nlohmann::json& value, const std::string& what, std::int64_t lo, std::int64_t hi) {
  const auto n = wholeValue(value);
  if (!n || *n < lo || *n > hi)
    resourceFault(what + " must be a whole number within [" + std::to_string(lo) + ", " + std::to_string(hi) +
                  "], not " + quote(value));
  return *n;
}

const nlohmann::json* member(const nlohmann::json& node, const char* key) {
  if (!node.is_object()) return nullptr;
  auto it = node.find(key);
  return it == node.end() ? nullptr : &*it;
}

const nlohmann::json& required(const nlohmann::json& node, const char* key, const std::string& what) {
  const auto* m = member(object(node, what), key);
  if (!m) resourceFault(what + " needs " + key);
  return *m;
}

nlohmann::json parseResource(std::string_view content) {
  auto read = JSONObjectWithData(content);
  if (!read.value) resourceFault("not valid JSON: " + read.error->localizedDescription);
  return std::move(*read.value);
}

std::optional<std::string> readResourceFile(const std::filesystem::path& file, const std::string& resource) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
  std::string why;
  auto bytes = readFile(file, ReadLimits{true, kMaximumResourceBytes}, &why);
  if (!bytes) brokenResource(resource, "cannot be read: " + why);
  return std::string(bytes->begin(), bytes->end());
}

void brokenResource(const std::string& resource, const std::string& reason) { fatalError(resource + ": " + reason); }

}  // namespace platform::detail
