#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/foundation/bytes.h"
#include "platform/foundation/error.h"

namespace platform {

// Reading JSON as the platform does with fragments allowed: any value, or an error.
// JSON null is a value; empty input, invalid UTF-8, nesting deeper than 512 and anything after the value
// but white space (a NUL included) are errors.
struct JSONReadResult {
  std::optional<nlohmann::json> value;
  std::optional<Error> error;
};
JSONReadResult JSONObjectWithData(std::string_view bytes);
inline JSONReadResult JSONObjectWithData(const Bytes& bytes) {
  return JSONObjectWithData(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

// Compact UTF-8 text.
std::string JSONDataWithObject(const nlohmann::json& value);

}  // namespace platform
