#include "platform/foundation/plist.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace platform {

const PlistValue* PlistValue::find(const std::string& key) const {
  const auto* d = asDictionary();
  if (!d) return nullptr;
  auto it = d->find(key);
  return it == d->end() ? nullptr : &it->second;
}

// Strings, integers, reals, Booleans and arrays map to their JSON kinds; every other kind is a
// one-member object naming it, so no dictionary key can be mistaken for a tag.
nlohmann::json PlistValue::toTaggedJSON() const {
  using nlohmann::json;
  switch (type()) {
    case Type::Dictionary: {
      json members = json::object();
      for (const auto& [k, v] : *asDictionary()) members[k] = v.toTaggedJSON();
      return json{{"dict", members}};
    }
    case Type::Array: {
      json items = json::array();
      for (const auto& v : *asArray()) items.push_back(v.toTaggedJSON());
      return items;
    }
    case Type::String: return *asString();
    case Type::Integer: return *asInteger();
    case Type::Real: {
      // JSON has no infinity or NaN: those take a tagged form, so that the reader gets them back
      const double r = *asReal();
      if (std::isfinite(r)) return r;
      return json{{"real", std::isnan(r) ? "nan" : r > 0 ? "inf" : "-inf"}};
    }
    case Type::Boolean: return *asBoolean();
    case Type::Date: return json{{"date", asDate()->time_since_epoch().count()}};
    case Type::Data: return json{{"data", base64Encode(*asData())}};
  }
  return nullptr;
}

namespace {

// An integer of the file, which must fit 64 signed bits.
std::int64_t signed64(const nlohmann::json& j) {
  if (j.is_number_unsigned() && j.get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX))
    throw std::runtime_error("integer out of range: " + j.dump());
  return j.get<std::int64_t>();
}

}  // namespace

PlistValue PlistValue::fromTaggedJSON(const nlohmann::json& j) {
  if (j.is_string()) return PlistValue(j.get<std::string>());
  if (j.is_boolean()) return PlistValue(j.get<bool>());
  if (j.is_number_integer()) return PlistValue(signed64(j));
  if (j.is_number_float()) return PlistValue(j.get<double>());
  if (j.is_array()) {
    Array a;
    for (const auto& e : j) a.push_back(fromTaggedJSON(e));
    return PlistValue(std::move(a));
  }
  if (j.is_object() && j.size() == 1) {
    const auto it = j.begin();
    const std::string& tag = it.key();
    const nlohmann::json& body = it.value();
    if (tag == "dict" && body.is_object()) {
      Dictionary d;
      for (const auto& [k, v] : body.items()) d.emplace(k, fromTaggedJSON(v));
      return PlistValue(std::move(d));
    }
    if (tag == "date" && body.is_number_integer()) return PlistValue(Date(Duration(signed64(body))));
    if (tag == "real" && body.is_string()) {
      const std::string& r = body.get_ref<const std::string&>();
      if (r == "inf") return PlistValue(std::numeric_limits<double>::infinity());
      if (r == "-inf") return PlistValue(-std::numeric_limits<double>::infinity());
      if (r == "nan") return PlistValue(std::numeric_limits<double>::quiet_NaN());
    }
    if (tag == "data" && body.is_string()) {
      if (auto b = base64DecodeStrict(body.get<std::string>())) return PlistValue(std::move(*b));
    }
  }
  throw std::runtime_error("not a property-list value: " + j.dump().substr(0, 80));
}

namespace {
constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::string base64Encode(const Bytes& b) {
  std::string out;
  out.reserve((b.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < b.size(); i += 3) {
    unsigned n = (b[i] << 16) | (b[i + 1] << 8) | b[i + 2];
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  if (i + 1 == b.size()) {
    unsigned n = b[i] << 16;
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += "==";
  } else if (i + 2 == b.size()) {
    unsigned n = (b[i] << 16) | (b[i + 1] << 8);
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += '=';
  }
  return out;
}

std::optional<Bytes> base64DecodeStrict(const std::string& s) {
  if (s.size() % 4 != 0) return std::nullopt;
  Bytes out;
  unsigned acc = 0;
  int bits = 0;
  size_t pad = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (c == '=') {
      if (i < s.size() - 2) return std::nullopt;
      ++pad;
      continue;
    }
    if (pad) return std::nullopt;
    const char* p = std::char_traits<char>::find(kAlphabet, 64, c);
    if (!p) return std::nullopt;
    acc = (acc << 6) | static_cast<unsigned>(p - kAlphabet);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<std::uint8_t>((acc >> bits) & 0xFF));
    }
  }
  return out;
}

}  // namespace platform
