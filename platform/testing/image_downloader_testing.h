#pragma once

#include <string>
#include <vector>

#include "platform/services/image_downloader_facility.h"
#include "platform/uikit/image.h"

namespace platform::testing {

using detail::ImageLoad;

// The loads the downloader holds, in the order asked: the latest of each view still there (and the
// last load asked, whatever its view).
std::vector<ImageLoad> imageLoads();
// Ends every load of that address still waiting, calling back with the image (or none); returns
// how many ended.
size_t deliverImage(const std::string& url, UIImageRef image);

}  // namespace platform::testing
