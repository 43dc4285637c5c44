#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/network/url.h"
#include "platform/uikit/image.h"
#include "platform/uikit/view.h"

namespace platform {

// The image downloader with its cache: asked to load an address into an image view, it calls back
// with the image, or none, once the load ends. Nothing is fetched here: each request waits until
// its image is delivered (the test support does it); no address calls back with none at once.
// A view has one load at a time: a new load into it drops the one before, and a load goes with its
// view; a dropped load never calls back.
// Safe from any thread; the completion runs on the delivering thread.
class ImageDownloader {
 public:
  using Completion = std::function<void(UIImageRef)>;
  // The current process's downloader.
  static ImageDownloader& shared();
  void load(const std::optional<URL>& url, std::weak_ptr<UIImageView> imageView, Completion completion);
};

}  // namespace platform
