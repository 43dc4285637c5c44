#include "platform/services/feedback.h"

#include "platform/uikit/main_thread.h"
#include "platform/uikit/ui_records.h"

namespace platform {

void UINotificationFeedbackGenerator::notificationOccurred(UINotificationFeedbackType type) {
  requireMainThread("UINotificationFeedbackGenerator::notificationOccurred");
  const char* name = type == UINotificationFeedbackType::success   ? "success"
                     : type == UINotificationFeedbackType::warning ? "warning"
                                                                   : "error";
  detail::UIRecords::current().with(
      [&](detail::UIRecords& r) { r.haptics.push_back({name, detail::UIRecords::now()}); });
}

void SKStoreReviewController::requestReview() {
  detail::UIRecords::current().with(
      [](detail::UIRecords& r) { r.reviewRequests.push_back({"review", detail::UIRecords::now()}); });
}

}  // namespace platform
