#pragma once

#include <memory>

#include "platform/foundation/bundle.h"
#include "platform/uikit/view_controller.h"

// Utilities of the shared library. Main thread only.
class LKSUtils {
 public:
  LKSUtils() = delete;

  // The controller on top of the application delegate's window: the end of the root's presented
  // chain, with a navigation controller unwrapped to its last child and a tab-bar controller to
  // its selected child (itself unwrapped when a navigation controller). None without a delegate
  // answering `window`, a window or a root; an empty container is itself the answer.
  static std::shared_ptr<platform::UIViewController> getTopMostViewController();
};
