#pragma once

#include "platform/uikit/view_controller.h"

// The common base of the application's screens: dark status-bar content unless a screen says
// otherwise.
class BaseViewController : public platform::UIViewController {
 public:
  void viewDidLoad() override;
  platform::UIStatusBarStyle preferredStatusBarStyle() const override;
};

// Whether the application runs on a tablet; asked once per process, the same answer as
// LKSConstants::isIPad.
bool isPad();
