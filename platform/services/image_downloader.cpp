#include "platform/services/image_downloader.h"

#include "platform/foundation/process.h"
#include "platform/services/image_downloader_facility.h"

namespace platform {

namespace detail {

ImageDownloaderFacility& ImageDownloaderFacility::current() {
  return *Process::current().shared<ImageDownloaderFacility>([] { return std::make_shared<ImageDownloaderFacility>(); });
}

namespace {

bool sameOwner(const std::weak_ptr<UIImageView>& a, const std::weak_ptr<UIImageView>& b) {
  return !a.owner_before(b) && !b.owner_before(a);
}

}  // namespace

std::vector<ImageDownloaderFacility::Held> ImageDownloaderFacility::dropLocked(const std::weak_ptr<UIImageView>& view) {
  std::vector<Held> dropped;
  for (auto it = held_.begin(); it != held_.end();) {
    if (it->load.imageView.expired() || sameOwner(it->load.imageView, view)) {
      dropped.push_back(std::move(*it));
      it = held_.erase(it);
    } else {
      ++it;
    }
  }
  return dropped;
}

void ImageDownloaderFacility::load(const std::optional<URL>& url, std::weak_ptr<UIImageView> imageView,
                                   ImageDownloader::Completion completion) {
  std::vector<Held> dropped;  // what they captured goes outside the lock
  {
    std::lock_guard lock(mutex_);
    dropped = dropLocked(imageView);
    Held held{{url ? std::optional(url->absoluteString()) : std::nullopt, std::move(imageView)}, nullptr};
    if (url) held.completion = std::move(completion);
    held_.push_back(std::move(held));
  }
  if (!url && completion) completion(nullptr);
}

std::vector<ImageLoad> ImageDownloaderFacility::loads() const {
  std::lock_guard lock(mutex_);
  std::vector<ImageLoad> out;
  out.reserve(held_.size());
  for (const auto& held : held_) out.push_back(held.load);
  return out;
}

size_t ImageDownloaderFacility::deliver(const std::string& url, UIImageRef image) {
  std::vector<ImageDownloader::Completion> due;
  {
    std::lock_guard lock(mutex_);
    for (auto& held : held_)
      if (held.completion && held.load.url == url) due.push_back(std::exchange(held.completion, nullptr));
  }
  for (auto& completion : due) completion(image);
  return due.size();
}

}  // namespace detail

ImageDownloader& ImageDownloader::shared() { return detail::ImageDownloaderFacility::current().downloader; }

void ImageDownloader::load(const std::optional<URL>& url, std::weak_ptr<UIImageView> imageView,
                           Completion completion) {
  detail::ImageDownloaderFacility::current().load(url, std::move(imageView), std::move(completion));
}

}  // namespace platform
