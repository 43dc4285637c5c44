#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

// The member `key` of an object when it is a text; none when it is missing or of another kind.
inline std::optional<std::string> textMember(const nlohmann::json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}
