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

// The network's side of the process's image downloader: every load asked, in order, and those
// still waiting for their image. Nothing arrives by itself; an image comes only when delivered.
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
  mutable std::mutex mutex_;
  std::vector<ImageLoad> loads_;
  std::vector<std::pair<std::string, ImageDownloader::Completion>> waiting_;
};

}  // namespace platform::detail
