#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/foundation/resource_json.h"
#include "platform/uikit/color.h"
#include "platform/uikit/geometry.h"

namespace platform::detail {

// A colour written in a resource: [r, g, b, a] fractions, "#RRGGBB", "#RRGGBBAA" or a platform
// colour name ("white", "black", "clear", "blue", "orange", "red", "green", "lightGray", "gray").
// None when it is none of these.
std::optional<UIColor> colorFromJSON(const nlohmann::json& value);
// The same as a reader of a resource: anything else is a fault.
UIColor color(const nlohmann::json& value, const std::string& what);

// The checks of a bundle's resources: what a file's text holds, or why it is broken.

struct ImageCatalogueEntry {
  CGSize size;
  std::optional<std::filesystem::path> file;
};
using ImageCatalogue = std::map<std::string, ImageCatalogueEntry>;
// "images.json" of the bundle in `directory`.
Checked<ImageCatalogue> checkImageCatalogue(std::string_view content, const std::filesystem::path& directory);

struct NamedColor {
  UIColor light, dark;
};
using ColorCatalogue = std::map<std::string, NamedColor>;
// "colors.json".
Checked<ColorCatalogue> checkColorCatalogue(std::string_view content);

// "<name>.storyboard".
struct StoryboardDocument;
Checked<std::shared_ptr<const StoryboardDocument>> checkStoryboard(std::string_view content);

}  // namespace platform::detail
