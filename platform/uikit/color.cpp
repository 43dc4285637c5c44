#include "platform/uikit/color.h"

#include <cmath>
#include <map>
#include <mutex>

#include "platform/foundation/bundle.h"
#include "platform/foundation/console.h"
#include "platform/foundation/process.h"
#include "platform/uikit/geometry.h"
#include "platform/uikit/resource_json.h"

namespace platform {

namespace {

struct NamedColor {
  UIColor light, dark;
};
using ColorCatalogue = std::map<std::string, NamedColor>;

struct ColorState {
  std::mutex mutex;
  std::optional<UITraitCollection> current;
  std::map<std::filesystem::path, std::shared_ptr<const ColorCatalogue>> catalogues;
};

ColorState& state() {
  return *Process::current().shared<ColorState>([] { return std::make_shared<ColorState>(); });
}

// The bundle's "colors.json": {"Name": {"light": colour, "dark": colour}}; dark may be left out.
std::shared_ptr<const ColorCatalogue> loadCatalogue(const std::filesystem::path& dir) {
  auto catalogue = std::make_shared<ColorCatalogue>();
  const auto file = dir / "colors.json";
  auto json = detail::readResourceJSON(file);
  if (!json) return catalogue;
  if (!json->is_object()) fatalError("the colour catalogue " + file.string() + " is not an object");
  for (const auto& [name, entry] : json->items()) {
    auto light = entry.is_object() && entry.contains("light") ? detail::colorFromJSON(entry["light"]) : std::nullopt;
    if (!light) fatalError("the colour " + name + " in " + file.string() + " has no valid light value");
    auto dark = *light;
    if (entry.contains("dark")) {
      auto d = detail::colorFromJSON(entry["dark"]);
      if (!d) fatalError("the colour " + name + " in " + file.string() + " has an invalid dark value");
      dark = *d;
    }
    (*catalogue)[name] = NamedColor{*light, dark};
  }
  return catalogue;
}

}  // namespace

UITraitCollection UITraitCollection::currentTraitCollection() {
  auto& s = state();
  {
    std::lock_guard lock(s.mutex);
    if (s.current) return *s.current;
  }
  const bool dark = Process::current().device().profile().darkAppearance;
  return UITraitCollection{dark ? UIUserInterfaceStyle::dark : UIUserInterfaceStyle::light};
}

void UITraitCollection::setCurrentTraitCollection(UITraitCollection traits) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  s.current = traits;
}

std::optional<UIColor> UIColor::colorNamed(const std::string& name, const std::shared_ptr<Bundle>& bundle,
                                           std::optional<UITraitCollection> traits) {
  const auto b = bundle ? bundle : Bundle::main();
  if (!b->resourcePath()) return std::nullopt;
  auto& s = state();
  std::shared_ptr<const ColorCatalogue> catalogue;
  {
    std::lock_guard lock(s.mutex);
    auto& slot = s.catalogues[*b->resourcePath()];
    if (!slot) slot = loadCatalogue(*b->resourcePath());
    catalogue = slot;
  }
  auto it = catalogue->find(name);
  if (it == catalogue->end()) return std::nullopt;
  const auto t = traits ? *traits : UITraitCollection::currentTraitCollection();
  return t.userInterfaceStyle == UIUserInterfaceStyle::dark ? it->second.dark : it->second.light;
}

std::string UIColor::description() const {
  auto byte = [](double c) { return formatNumber(std::round(c * 255)); };
  return "rgba(" + byte(red_) + " " + byte(green_) + " " + byte(blue_) + " " + formatNumber(alpha_) + ")";
}

}  // namespace platform
