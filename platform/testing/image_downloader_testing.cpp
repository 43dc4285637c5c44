#include "platform/testing/image_downloader_testing.h"

namespace platform::testing {

std::vector<ImageLoad> imageLoads() { return detail::ImageDownloaderFacility::current().loads(); }

size_t deliverImage(const std::string& url, UIImageRef image) {
  return detail::ImageDownloaderFacility::current().deliver(url, std::move(image));
}

}  // namespace platform::testing
