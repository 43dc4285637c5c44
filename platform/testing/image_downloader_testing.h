#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/uikit/image.h"
#include "platform/uikit/view.h"

namespace platform::testing {

// One load asked of the image downloader: the address (none when there was no URL) and the view.
struct ImageLoad {
  std::optional<std::string> url;
  std::weak_ptr<UIImageView> imageView;
};

// Every load asked so far, in order.
std::vector<ImageLoad> imageLoads();
// Ends every load of that address still waiting, calling back with the image (or none); returns
// how many ended.
size_t deliverImage(const std::string& url, UIImageRef image);

}  // namespace platform::testing
