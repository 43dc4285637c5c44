#include "platform/services/image_downloader.h"

#include "platform/foundation/process.h"
#include "platform/services/image_downloader_facility.h"

namespace platform {

namespace detail {

ImageDownloaderFacility& ImageDownloaderFacility::current() {
  return *Process::current().shared<ImageDownloaderFacility>([] { return std::make_shared<ImageDownloaderFacility>(); });
}

void ImageDownloaderFacility::load(const std::optional<URL>& url, std::weak_ptr<UIImageView> imageView,
                                   ImageDownloader::Completion completion) {
  {
    std::lock_guard lock(mutex_);
    loads_.push_back({url ? std::optional(url->absoluteString()) : std::nullopt, std::move(imageView)});
    if (url) waiting_.emplace_back(url->absoluteString(), std::move(completion));
  }
  if (!url && completion) completion(nullptr);
}

std::vector<ImageLoad> ImageDownloaderFacility::loads() const {
  std::lock_guard lock(mutex_);
  return loads_;
}

size_t ImageDownloaderFacility::deliver(const std::string& url, UIImageRef image) {
  std::vector<ImageDownloader::Completion> due;
  {
    std::lock_guard lock(mutex_);
    for (auto it = waiting_.begin(); it != waiting_.end();) {
      if (it->first == url) {
        due.push_back(std::move(it->second));
        it = waiting_.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& completion : due)
    if (completion) completion(image);
  return due.size();
}

}  // namespace detail

ImageDownloader& ImageDownloader::shared() { return detail::ImageDownloaderFacility::current().downloader; }

void ImageDownloader::load(const std::optional<URL>& url, std::weak_ptr<UIImageView> imageView,
                           Completion completion) {
  detail::ImageDownloaderFacility::current().load(url, std::move(imageView), std::move(completion));
}

}  // namespace platform
