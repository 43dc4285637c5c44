#pragma once

namespace platform {

enum class UINotificationFeedbackType { success = 0, warning = 1, error = 2 };

// The haptic engine's notification feedback; nothing vibrates here, each one is kept.
class UINotificationFeedbackGenerator {
 public:
  // Main thread only.
  void notificationOccurred(UINotificationFeedbackType type);
};

}  // namespace platform
