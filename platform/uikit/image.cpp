#include "platform/uikit/image.h"

#include <map>
#include <mutex>

#include "platform/foundation/bundle.h"
#include "platform/foundation/console.h"
#include "platform/foundation/process.h"
#include "platform/uikit/application.h"
#include "platform/uikit/resource_json.h"

namespace platform {

namespace {

struct ImageState {
  std::mutex mutex;
  std::map<std::filesystem::path, std::shared_ptr<const detail::ImageCatalogue>> catalogues;
};

ImageState& state() {
  return *Process::current().shared<ImageState>([] { return std::make_shared<ImageState>(); });
}

bool isCatalogueKey(const std::string& name) {
  return !name.empty() && name.find_first_of(std::string("/\\\0", 3)) == std::string::npos &&
         name.find("..") == std::string::npos;
}

std::shared_ptr<const detail::ImageCatalogue> loadCatalogue(const std::filesystem::path& dir) {
  const auto file = dir / "images.json";
  auto check = [&](std::string_view content) { return detail::checkImageCatalogue(content, dir); };
  auto catalogue = detail::loadResource(file, "the image catalogue " + file.string(), check);
  return std::make_shared<const detail::ImageCatalogue>(catalogue ? std::move(*catalogue) : detail::ImageCatalogue{});
}

struct Symbol {
  const char* name;
  double widthPerPoint, heightPerPoint;
};
constexpr Symbol kSymbols[] = {
    {"app.fill", 1.0, 1.0},
    {"xmark", 0.8125, 0.8125},
    {"checkmark", 0.875, 0.8125},
    {"chevron.right", 0.5, 0.875},
};

}  // namespace

namespace detail {

// {"name": {"size": [w, h], "file": "picture.png"}}; the file is optional.
Checked<ImageCatalogue> checkImageCatalogue(std::string_view content, const std::filesystem::path& directory) {
  return checkResource(content, [&](const nlohmann::json& root) {
    ImageCatalogue catalogue;
    for (const auto& [name, entry] : object(root, "the top level").items()) {
      const auto what = "the image " + quote(name);
      if (!isCatalogueKey(name)) resourceFault(what + ": the name is not a plain key");
      const auto& size = array(required(entry, "size", what), what + " size", 2);
      ImageCatalogueEntry e{CGSize{number(size[0], what + " width", 0), number(size[1], what + " height", 0)},
                            std::nullopt};
      if (const auto* file = member(entry, "file")) {
        const auto fileName = text(*file, what + " file");
        if (!isCatalogueKey(fileName)) resourceFault(what + ": the file must be a plain name beside the catalogue");
        e.file = directory / fileName;
      }
      catalogue[name] = std::move(e);
    }
    return catalogue;
  });
}

}  // namespace detail

UIImageSymbolConfiguration UIImageSymbolConfiguration::configurationWithPointSize(double pointSize,
                                                                              UIImageSymbolWeight weight) {
  UIFontWeight w = UIFontWeight::regular;
  switch (weight) {
    case UIImageSymbolWeight::ultraLight: w = UIFontWeight::ultraLight; break;
    case UIImageSymbolWeight::thin: w = UIFontWeight::thin; break;
    case UIImageSymbolWeight::light: w = UIFontWeight::light; break;
    case UIImageSymbolWeight::unspecified:
    case UIImageSymbolWeight::regular: w = UIFontWeight::regular; break;
    case UIImageSymbolWeight::medium: w = UIFontWeight::medium; break;
    case UIImageSymbolWeight::semibold: w = UIFontWeight::semibold; break;
    case UIImageSymbolWeight::bold: w = UIFontWeight::bold; break;
    case UIImageSymbolWeight::heavy: w = UIFontWeight::heavy; break;
    case UIImageSymbolWeight::black: w = UIFontWeight::black; break;
  }
  return UIImageSymbolConfiguration{pointSize, w};
}

namespace {
// Open bitmap contexts of this thread, innermost last.
thread_local std::vector<UIImageRendering> contexts;
}  // namespace

void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, double scale) {
  contexts.push_back(UIImageRendering{size, opaque, scale == 0 ? UIScreen::mainScreen().scale() : scale, {}});
}

UIImageRef UIGraphicsGetImageFromCurrentImageContext() {
  if (contexts.empty()) return nullptr;
  auto image = std::make_shared<UIImage>(UIImage::Source::rendered, "", contexts.back().size, std::nullopt, std::nullopt);
  image->rendering_ = std::make_shared<const UIImageRendering>(contexts.back());
  return UIImageRef(std::shared_ptr<const UIImage>(std::move(image)));
}

void UIGraphicsEndImageContext() {
  if (!contexts.empty()) contexts.pop_back();
}

void UIImage::drawInRect(CGRect rect) const {
  if (contexts.empty()) return;
  contexts.back().draws.push_back({std::make_shared<const UIImage>(*this), rect});
}

UIImage::UIImage(Source source, std::string name, CGSize size, std::optional<std::filesystem::path> file,
                 std::optional<UIImageSymbolConfiguration> configuration)
    : source_(source), name_(std::move(name)), size_(size), file_(std::move(file)), configuration_(configuration) {}

UIImageRef UIImage::imageNamed(const std::string& name, const std::shared_ptr<Bundle>& bundle,
                               std::optional<UIImageSymbolConfiguration> configuration) {
  if (!isCatalogueKey(name)) return UIImageRef::missing(name);
  const auto b = bundle ? bundle : Bundle::main();
  if (!b->resourcePath()) return UIImageRef::missing(name);
  auto& s = state();
  std::shared_ptr<const detail::ImageCatalogue> catalogue;
  {
    std::lock_guard lock(s.mutex);
    auto& slot = s.catalogues[*b->resourcePath()];
    if (!slot) slot = loadCatalogue(*b->resourcePath());
    catalogue = slot;
  }
  auto it = catalogue->find(name);
  if (it == catalogue->end()) return UIImageRef::missing(name);
  return UIImageRef(std::make_shared<const UIImage>(Source::asset, name, it->second.size, it->second.file, configuration));
}

UIImageRef UIImage::systemImageNamed(const std::string& name, std::optional<UIImageSymbolConfiguration> configuration) {
  for (const auto& s : kSymbols) {
    if (name != s.name) continue;
    const double points = configuration ? configuration->pointSize : UIImageSymbolConfiguration{}.pointSize;
    return UIImageRef(std::make_shared<const UIImage>(
        Source::symbol, name, CGSize{s.widthPerPoint * points, s.heightPerPoint * points}, std::nullopt, configuration));
  }
  return UIImageRef::missing(name);
}

std::shared_ptr<const UIImage> UIImage::imageWithTintColor(UIColor color, UIImageRenderingMode mode) const {
  auto copy = std::make_shared<UIImage>(*this);
  copy->tint_ = color;
  copy->renderingMode_ = mode;
  return copy;
}

std::shared_ptr<const UIImage> UIImage::imageWithRenderingMode(UIImageRenderingMode mode) const {
  auto copy = std::make_shared<UIImage>(*this);
  copy->renderingMode_ = mode;
  return copy;
}

UIImageRef::UIImageRef(std::shared_ptr<const UIImage> image) : image_(std::move(image)) {
  if (image_ && !image_->name().empty()) requestedName_ = image_->name();
}

UIImageRef UIImageRef::missing(std::string requestedName) {
  UIImageRef r;
  r.requestedName_ = std::move(requestedName);
  return r;
}

}  // namespace platform
