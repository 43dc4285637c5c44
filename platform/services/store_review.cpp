#include "platform/services/store_review.h"

#include "platform/uikit/main_thread.h"
#include "platform/uikit/ui_records.h"

namespace platform {

void SKStoreReviewController::requestReview() {
  requireMainThread("SKStoreReviewController::requestReview");
  detail::UIRecords::current().with(
      [](detail::UIRecords& r) { r.reviewRequests.push_back({"requestReview", detail::UIRecords::now()}); });
}

}  // namespace platform
