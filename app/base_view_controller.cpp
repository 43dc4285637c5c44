#include "app/base_view_controller.h"

#include <memory>

#include "platform/foundation/process.h"
#include "platform/uikit/application.h"

namespace {

struct PadAnswer {
  bool value = false;
};

}  // namespace

void BaseViewController::viewDidLoad() { UIViewController::viewDidLoad(); }

platform::UIStatusBarStyle BaseViewController::preferredStatusBarStyle() const {
  return platform::UIStatusBarStyle::darkContent;
}

bool isPad() {
  return platform::Process::current()
      .shared<PadAnswer>([] {
        const bool pad =
            platform::UIDevice::currentDevice().userInterfaceIdiom() == platform::UIUserInterfaceIdiom::pad;
        return std::make_shared<PadAnswer>(PadAnswer{pad});
      })
      ->value;
}
