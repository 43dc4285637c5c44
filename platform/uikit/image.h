#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/uikit/color.h"
#include "platform/uikit/font.h"
#include "platform/uikit/geometry.h"

namespace platform {

class Bundle;

enum class UIImageRenderingMode { automatic = 0, alwaysOriginal = 1, alwaysTemplate = 2 };

// The platform's symbol weights by their raw values.
enum class UIImageSymbolWeight : int {
  unspecified = 0, ultraLight = 1, thin = 2, light = 3, regular = 4, medium = 5, semibold = 6, bold = 7, heavy = 8,
  black = 9
};

struct UIImageSymbolConfiguration {
  double pointSize = 17;
  UIFontWeight weight = UIFontWeight::regular;
  bool operator==(const UIImageSymbolConfiguration&) const = default;

  // Unspecified counts as regular.
  static UIImageSymbolConfiguration configurationWithPointSize(double pointSize, UIImageSymbolWeight weight);
};

class UIImage;

// What a bitmap context drew: its size, opacity and scale, and each image drawn into a rectangle,
// in order.
struct UIImageRendering {
  struct Draw {
    std::shared_ptr<const UIImage> image;
    CGRect rect;
  };
  CGSize size;
  bool opaque = false;
  double scale = 1;
  std::vector<Draw> draws;
};

// An image as screens see it: which picture it is and its size. Nothing is decoded or drawn.
class UIImage {
 public:
  enum class Source { asset, symbol, rendered, empty };

  // A new empty image: a real image of no size (not the same as no image).
  UIImage() = default;

  // The image under this exact catalogue key of the bundle (none: the main bundle), or a missing
  // image that keeps the name. The empty name, and any name holding '/', '\', NUL or "..", find
  // nothing: names are keys, never paths. Safe from any thread.
  static class UIImageRef imageNamed(const std::string& name, const std::shared_ptr<Bundle>& bundle = nullptr,
                                     std::optional<UIImageSymbolConfiguration> configuration = std::nullopt);
  // One of the platform's symbols ("app.fill", "xmark", "checkmark", "chevron.right"); its size
  // follows the configuration's point size.
  static UIImageRef systemImageNamed(const std::string& name,
                                     std::optional<UIImageSymbolConfiguration> configuration = std::nullopt);

  Source source() const { return source_; }
  const std::string& name() const { return name_; }
  CGSize size() const { return size_; }
  bool isEmpty() const { return source_ == Source::empty; }
  // The picture file behind an asset, when the catalogue names one.
  const std::optional<std::filesystem::path>& file() const { return file_; }
  const std::optional<UIImageSymbolConfiguration>& symbolConfiguration() const { return configuration_; }
  const std::optional<UIColor>& tintColor() const { return tint_; }
  UIImageRenderingMode renderingMode() const { return renderingMode_; }
  // For an image taken from a bitmap context: what was drawn.
  const std::shared_ptr<const UIImageRendering>& rendering() const { return rendering_; }

  // Into the current bitmap context (UIGraphicsBeginImageContextWithOptions); none open: nothing.
  void drawInRect(CGRect rect) const;

  // A tinted copy.
  std::shared_ptr<const UIImage> imageWithTintColor(UIColor color, UIImageRenderingMode mode) const;
  std::shared_ptr<const UIImage> imageWithRenderingMode(UIImageRenderingMode mode) const;

  // Made by the look-ups above.
  UIImage(Source source, std::string name, CGSize size, std::optional<std::filesystem::path> file,
          std::optional<UIImageSymbolConfiguration> configuration);

 private:
  Source source_ = Source::empty;
  std::string name_;
  CGSize size_;
  std::optional<std::filesystem::path> file_;
  std::optional<UIImageSymbolConfiguration> configuration_;
  std::optional<UIColor> tint_;
  UIImageRenderingMode renderingMode_ = UIImageRenderingMode::automatic;
  std::shared_ptr<const UIImageRendering> rendering_;
  friend UIImageRef UIGraphicsGetImageFromCurrentImageContext();
};

// What an image property holds: an image or none. A look-up that found nothing is none but keeps
// the name it was asked for, so a screen that shows nothing still tells which picture it wanted.
class UIImageRef {
 public:
  UIImageRef() = default;
  UIImageRef(std::nullptr_t) {}
  UIImageRef(std::shared_ptr<const UIImage> image);
  static UIImageRef missing(std::string requestedName);

  explicit operator bool() const { return image_ != nullptr; }
  const UIImage* operator->() const { return image_.get(); }
  const UIImage& operator*() const { return *image_; }
  const std::shared_ptr<const UIImage>& get() const { return image_; }
  bool found() const { return image_ != nullptr; }
  // The name looked up (or the found image's name); none for an image set without a name.
  const std::optional<std::string>& requestedName() const { return requestedName_; }

  // The same image object and the same requested name.
  bool operator==(const UIImageRef&) const = default;

 private:
  std::shared_ptr<const UIImage> image_;
  std::optional<std::string> requestedName_;
};

// Bitmap contexts, one stack per thread. A scale of 0 is the main screen's.
void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, double scale);
// The current context's drawing as an image; none when no context is open.
UIImageRef UIGraphicsGetImageFromCurrentImageContext();
void UIGraphicsEndImageContext();

}  // namespace platform
