#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/foundation/bytes.h"
#include "platform/foundation/time.h"

namespace platform {

// A property-list value. Boolean, integer and real are distinct kinds.
class PlistValue {
 public:
  using Dictionary = std::map<std::string, PlistValue>;
  using Array = std::vector<PlistValue>;
  enum class Type { Dictionary, Array, String, Integer, Real, Boolean, Date, Data };

  PlistValue() : v_(std::string()) {}
  PlistValue(Dictionary d) : v_(std::move(d)) {}
  PlistValue(Array a) : v_(std::move(a)) {}
  PlistValue(std::string s) : v_(std::move(s)) {}
  PlistValue(const char* s) : v_(std::string(s)) {}
  PlistValue(bool b) : v_(b) {}
  template <class I, std::enable_if_t<std::is_integral_v<I> && !std::is_same_v<I, bool>, int> = 0>
  PlistValue(I i) : v_(static_cast<std::int64_t>(i)) {}
  PlistValue(double d) : v_(d) {}
  PlistValue(platform::Date d) : v_(d) {}
  PlistValue(Bytes b) : v_(std::move(b)) {}

  Type type() const { return static_cast<Type>(v_.index()); }

  const Dictionary* asDictionary() const { return std::get_if<Dictionary>(&v_); }
  Dictionary* asDictionary() { return std::get_if<Dictionary>(&v_); }
  const Array* asArray() const { return std::get_if<Array>(&v_); }
  const std::string* asString() const { return std::get_if<std::string>(&v_); }
  const std::int64_t* asInteger() const { return std::get_if<std::int64_t>(&v_); }
  const double* asReal() const { return std::get_if<double>(&v_); }
  const bool* asBoolean() const { return std::get_if<bool>(&v_); }
  const platform::Date* asDate() const { return std::get_if<platform::Date>(&v_); }
  const Bytes* asData() const { return std::get_if<Bytes>(&v_); }

  // Member of a dictionary, or none (also when this is not a dictionary).
  const PlistValue* find(const std::string& key) const;

  bool operator==(const PlistValue&) const = default;

  // Tagged JSON form used by the stores on the device: kinds survive a round trip.
  nlohmann::json toTaggedJSON() const;
  // Throws std::runtime_error when the JSON is not in the tagged form.
  static PlistValue fromTaggedJSON(const nlohmann::json& j);

 private:
  std::variant<Dictionary, Array, std::string, std::int64_t, double, bool, platform::Date, Bytes> v_;
};

// Standard Base64 with "=" padding, on one line.
std::string base64Encode(const Bytes& b);
constexpr std::size_t base64EncodedLength(std::size_t n) { return (n + 2) / 3 * 4; }
// Writes the Base64 text of n bytes to out, which has room for base64EncodedLength(n) characters.
void base64Encode(const std::uint8_t* bytes, std::size_t n, char* out);
// Strict decoder for our own files; none on any character outside the alphabet.
std::optional<Bytes> base64DecodeStrict(const std::string& s);

}  // namespace platform
