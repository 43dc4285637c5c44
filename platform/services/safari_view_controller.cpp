#include "platform/services/safari_view_controller.h"

#include <memory>
#include <utility>

#include "platform/uikit/application.h"

namespace platform {

SFSafariViewController::SFSafariViewController(URL url, SFSafariViewControllerConfiguration configuration)
    : url_(std::move(url)), configuration_(configuration) {
  setTitle(url_.absoluteString());
}

void SFSafariViewController::loadView() {
  auto page = std::make_shared<UIView>(UIScreen::mainScreen().bounds());
  page->setAccessibilityIdentifier("page");
  setView(std::move(page));
}

}  // namespace platform
