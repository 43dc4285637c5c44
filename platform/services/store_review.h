#pragma once

namespace platform {

// The store's review prompt: the system decides whether it shows; here every request is kept.
class SKStoreReviewController {
 public:
  SKStoreReviewController() = delete;
  // Main thread only.
  static void requestReview();
};

}  // namespace platform
