#pragma once

namespace platform {

enum class UINotificationFeedbackType : int { success = 0, warning = 1, error = 2 };

// The haptic of a notification; nothing is felt here, each one is kept with its moment.
class UINotificationFeedbackGenerator {
 public:
  void prepare() {}
  void notificationOccurred(UINotificationFeedbackType type);
};

// The store's review prompt; each request is kept with its moment. Any thread.
class SKStoreReviewController {
 public:
  static void requestReview();
};

}  // namespace platform
