#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/services/image_downloader.h"

namespace platform::detail {

// One load asked of the image downloader: the address (none when there was no URL) and the view.
struct ImageLoad {
  std::optional<std::string> url;
  std::weak_ptr<UIImageView> imageView;
};

// The network's side of the process's image downloader: the loads it holds, in the order asked,
// and those still waiting for their image. Nothing arrives by itself; an image comes only when
// delivered. A view has one load at a time: a new load into it drops the one before, and a view
// that is gone takes its load with it, so what is held stays within the views that are shown.
// A dropped load never calls back.
class ImageDownloaderFacility {
 public:
  static ImageDownloaderFacility& current();

  void load(const std::optional<URL>& url, std::weak_ptr<UIImageView> imageView, ImageDownloader::Completion completion);
  std::vector<ImageLoad> loads() const;
  // Ends every load of that address still waiting, calling back with the image (or none), outside
  // the lock; returns how many ended.
  size_t deliver(const std::string& url, UIImageRef image);

  ImageDownloader downloader;

 private:
  struct Held {
    ImageLoad load;
    ImageDownloader::Completion completion;  // none once ended, or with no address
  };
  // Takes out the loads of views that are gone and those into `view`. Locked.
  std::vector<Held> dropLocked(const std::weak_ptr<UIImageView>& view);

  mutable std::mutex mutex_;
  std::vector<Held> held_;
};

}  // namespace platform::detail
