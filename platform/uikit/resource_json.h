#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/uikit/color.h"

namespace platform::detail {

// A resource file the application ships, as JSON; a broken file is a programming error naming it.
// None when there is no such file.
std::optional<nlohmann::json> readResourceJSON(const std::filesystem::path& file);

// A colour written in a resource: [r, g, b, a] fractions, "#RRGGBB", "#RRGGBBAA" or a platform
// colour name ("white", "black", "clear", "blue", "orange", "red", "green", "lightGray", "gray").
// None when it is none of these.
std::optional<UIColor> colorFromJSON(const nlohmann::json& value);

}  // namespace platform::detail
