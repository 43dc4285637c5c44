#include "platform/services/image_downloader.h"

#include <mutex>
#include <vector>

#include "platform/foundation/process.h"
#include "platform/testing/image_downloader_testing.h"

namespace platform {

namespace {

struct DownloaderState {
  std::mutex mutex;
  std::vector<testing::ImageLoad> loads;
  std::vector<std::pair<std::string, ImageDownloader::Completion>> waiting;
  ImageDownloader downloader;
};

DownloaderState& state() {
  return *Process::current().shared<DownloaderState>([] { return std::make_shared<DownloaderState>(); });
}

}  // namespace

ImageDownloader& ImageDownloader::shared() { return state().downloader; }

void ImageDownloader::load(const std::optional<URL>& url, std::weak_ptr<UIImageView> imageView,
                           Completion completion) {
  auto& s = state();
  {
    std::lock_guard lock(s.mutex);
    s.loads.push_back({url ? std::optional(url->absoluteString()) : std::nullopt, std::move(imageView)});
    if (url) s.waiting.emplace_back(url->absoluteString(), std::move(completion));
  }
  if (!url && completion) completion(nullptr);
}

namespace testing {

std::vector<ImageLoad> imageLoads() {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  return s.loads;
}

size_t deliverImage(const std::string& url, UIImageRef image) {
  auto& s = state();
  std::vector<ImageDownloader::Completion> due;
  {
    std::lock_guard lock(s.mutex);
    for (auto it = s.waiting.begin(); it != s.waiting.end();) {
      if (it->first == url) {
        due.push_back(std::move(it->second));
        it = s.waiting.erase(it);
      } else {
        ++it;
      }
    }
  }
  for (auto& completion : due)
    if (completion) completion(image);
  return due.size();
}

}  // namespace testing

}  // namespace platform
