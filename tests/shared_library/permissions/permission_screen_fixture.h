#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/testing/sandbox.h"
#include "platform/uikit/application.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/view_controller.h"
#include "shared_library/support/lks_utils.h"

// A process with the shipped resources and a visible window whose root can present a screen of
// the "Permissions" storyboard.
class PermissionScreenFixture : public ::testing::Test {
 protected:
  std::unique_ptr<platform::testing::Sandbox> sandbox;
  std::shared_ptr<platform::UIWindow> window;
  std::shared_ptr<platform::UIViewController> host;

  void TearDown() override {
    host.reset();
    window.reset();
    sandbox.reset();
  }

  void launch(platform::testing::Sandbox::Options options) {
    options.bundle.resourcePath = ORVANE_RESOURCES_DIR;
    sandbox = std::make_unique<platform::testing::Sandbox>(std::move(options));
    host = std::make_shared<platform::UIViewController>();
    window = std::make_shared<platform::UIWindow>(platform::UIScreen::mainScreen().bounds());
    window->setRootViewController(host);
    window->makeKeyAndVisible();
  }

  template <class T>
  std::shared_ptr<T> scene(const std::string& identifier) {
    return std::dynamic_pointer_cast<T>(platform::UIStoryboard::storyboardWithName("Permissions", LKSUtils::commonBundle())
                                            ->instantiateViewControllerWithIdentifier(identifier));
  }
};
