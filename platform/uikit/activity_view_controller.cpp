#include "platform/uikit/activity_view_controller.h"

#include "platform/foundation/console.h"
#include "platform/uikit/application.h"

namespace platform {

UIActivityViewController::UIActivityViewController(
    std::vector<Item> activityItems, std::optional<std::vector<std::shared_ptr<UIActivity>>> applicationActivities)
    : items_(std::move(activityItems)), activities_(std::move(applicationActivities)) {}

void UIActivityViewController::viewWillAppear(bool animated) {
  UIViewController::viewWillAppear(animated);
  if (UIDevice::currentDevice().userInterfaceIdiom() == UIUserInterfaceIdiom::pad && !popover_->sourceView())
    console("UIActivityViewController: shown as a popover without a source view (the platform would refuse it)");
}

}  // namespace platform
