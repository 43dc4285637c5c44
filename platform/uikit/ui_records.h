#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/time.h"

namespace platform {
class UIViewController;
}

namespace platform::detail {

// What the process's user interface did that only tests read, and the answers they script. One
// per process; safe from any thread. Product types write here and never read it.
struct UIRecords {
  struct Presentation {
    std::string presenter, presented;  // class names
    std::weak_ptr<UIViewController> presentedController;
    int style = 0;  // the effective modal presentation style
    bool animated = false;
    bool hadCompletion = false;
    Duration at{};
  };
  struct Timed {
    std::string what;
    Duration at{};
  };

  std::mutex mutex;
  std::vector<std::string> canOpenQuestions;
  std::map<std::string, bool> canOpenAnswers;  // by absolute URL
  std::vector<Timed> openedURLs;
  std::vector<long> badgeHistory;
  std::vector<Presentation> presentations;
  std::vector<Timed> haptics;
  std::vector<Timed> reviewRequests;
  double transitionDuration = 0.3;

  static UIRecords& current();
  template <class F>
  auto with(F&& f) {
    std::lock_guard lock(mutex);
    return f(*this);
  }
  static Duration now();
};

}  // namespace platform::detail
