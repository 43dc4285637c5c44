#pragma once

#include <cstdint>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

// Reading the JSON resources an application ships (storyboards, catalogues, bundle information).
// A resource is part of the installed application, so a broken one is a programming error; the
// reading is split so that a check of a resource's text returns, whatever the text, either what
// it holds or the reason it is broken, and only the loader stops the program.
namespace platform::detail {

// What is wrong with a resource. The readers below throw it; checkResource catches it.
struct ResourceFault {
  std::string reason;
};
[[noreturn]] void resourceFault(std::string reason);

// A checked resource: what it holds, or why it is broken.
template <class T>
struct Checked {
  std::optional<T> value;
  std::string reason;
};

// The value for a message: at most a short prefix, whatever its size or depth.
std::string quote(const nlohmann::json& value);

// Typed readers: `what` names the value in the fault ("<what> must be a text, not 5").
const nlohmann::json& object(const nlohmann::json& value, const std::string& what);
const nlohmann::json& array(const nlohmann::json& value, const std::string& what);
// A list of exactly `count` values.
const nlohmann::json& array(const nlohmann::json& value, const std::string& what, std::size_t count);
std::string text(const nlohmann::json& value, const std::string& what);
bool boolean(const nlohmann::json& value, const std::string& what);
// A number within [lo, hi].
double number(const nlohmann::json& value, const std::string& what, double lo = -std::numeric_limits<double>::max(),
              double hi = std::numeric_limits<double>::max());
// A whole number within [lo, hi], written with or without a fraction part ("3", "3.0", "3e0").
std::int64_t wholeNumber(const nlohmann::json& value, const std::string& what, std::int64_t lo, std::int64_t hi);
template <class Int = int>
Int integer(const nlohmann::json& value, const std::string& what, Int lo = std::numeric_limits<Int>::min(),
            Int hi = std::numeric_limits<Int>::max()) {
  return static_cast<Int>(wholeNumber(value, what, lo, hi));
}
// A text naming one of `choices`.
template <class T>
T choice(const nlohmann::json& value, const std::string& what, const std::map<std::string, T>& choices) {
  auto it = choices.find(text(value, what));
  if (it != choices.end()) return it->second;
  std::string names;
  for (const auto& [name, unused] : choices) names += (names.empty() ? "" : ", ") + name;
  resourceFault(what + " must be one of " + names + ", not " + quote(value));
}

// The member, or none when it is absent (or `node` is no object).
const nlohmann::json* member(const nlohmann::json& node, const char* key);
// The member of the object `what`; its absence is a fault.
const nlohmann::json& required(const nlohmann::json& node, const char* key, const std::string& what);

// The resource's content as JSON; not JSON, or nested deeper than JSON input may be, is a fault.
nlohmann::json parseResource(std::string_view content);

// Parses the content and reads it with `read` (json -> T, throwing ResourceFault).
template <class Read>
auto checkResource(std::string_view content, Read&& read) -> Checked<decltype(read(nlohmann::json()))> {
  try {
    return {read(parseResource(content)), {}};
  } catch (const ResourceFault& fault) {
    return {std::nullopt, fault.reason};
  }
}

// The text of a resource file, or none when there is no such file; an unreadable or oversized file
// is a programming error naming `resource`.
std::optional<std::string> readResourceFile(const std::filesystem::path& file, const std::string& resource);
[[noreturn]] void brokenResource(const std::string& resource, const std::string& reason);

// The file checked by `check` (text -> Checked<T>): none when there is no such file; a broken one
// is a programming error, "<resource>: <reason>".
template <class Check>
auto loadResource(const std::filesystem::path& file, const std::string& resource, Check&& check)
    -> decltype(check(std::string_view()).value) {
  auto content = readResourceFile(file, resource);
  if (!content) return std::nullopt;
  auto checked = check(std::string_view(*content));
  if (!checked.value) brokenResource(resource, checked.reason);
  return std::move(checked.value);
}

}  // namespace platform::detail
