#include "platform/uikit/color.h"

#include <cmath>
#include <map>
#include <mutex>

#include "platform/foundation/bundle.h"
#include "platform/foundation/process.h"
#include "platform/uikit/geometry.h"
#include "platform/uikit/resource_json.h"

namespace platform {

namespace {

struct ColorState {
  std::mutex mutex;
  std::optional<UITraitCollection> current;
  std::map<std::filesystem::path, std::shared_ptr<const detail::ColorCatalogue>> catalogues;
};

ColorState& state() {
  return *Process::current().shared<ColorState>([] { return std::make_shared<ColorState>(); });
}

std::shared_ptr<const detail::ColorCatalogue> loadCatalogue(const std::filesystem::path& dir) {
  const auto file = dir / "colors.json";
  auto catalogue = detail::loadResource(file, "the colour catalogue " + file.string(), detail::checkColorCatalogue);
  return std::make_shared<const detail::ColorCatalogue>(catalogue ? std::move(*catalogue) : detail::ColorCatalogue{});
}

}  // namespace

namespace detail {

// {"Name": {"light": colour, "dark": colour}}; dark may be left out.
Checked<ColorCatalogue> checkColorCatalogue(std::string_view content) {
  return checkResource(content, [](const nlohmann::json& root) {
    ColorCatalogue catalogue;
    for (const auto& [name, entry] : object(root, "the top level").items()) {
      const auto what = "the colour " + quote(name);
      const auto light = color(required(entry, "light", what), what + " light");
      const auto* dark = member(entry, "dark");
      catalogue[name] = NamedColor{light, dark ? color(*dark, what + " dark") : light};
    }
    return catalogue;
  });
}

}  // namespace detail

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
  std::shared_ptr<const detail::ColorCatalogue> catalogue;
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
