#pragma once

#include <string>
#include <vector>

#include "platform/services/image_downloader_facility.h"
#include "platform/uikit/image.h"

namespace platform::testing {

using detail::ImageLoad;

// Every load asked so far, in order.
std::vector<ImageLoad> imageLoads();
// Ends every load of that address still waiting, calling back with the image (or none); returns
// how many ended.
size_t deliverImage(const std::string& url, UIImageRef image);

}  // namespace platform::testing
