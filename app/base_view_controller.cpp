#include "app/base_view_controller.h"

#include "shared_library/support/lks_constants.h"

void BaseViewController::viewDidLoad() { UIViewController::viewDidLoad(); }

platform::UIStatusBarStyle BaseViewController::preferredStatusBarStyle() const {
  return platform::UIStatusBarStyle::darkContent;
}

bool isPad() { return LKSConstants::isIPad(); }
