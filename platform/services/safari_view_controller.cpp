#include "platform/services/safari_view_controller.h"

#include <algorithm>
#include <cctype>

#include "platform/foundation/console.h"
#include "platform/uikit/application.h"

namespace platform {

SFSafariViewController::SFSafariViewController(URL url, SFSafariViewControllerConfiguration configuration)
    : url_(std::move(url)), configuration_(configuration) {
  auto scheme = url_.scheme();
  std::transform(scheme.begin(), scheme.end(), scheme.begin(), [](unsigned char c) { return std::tolower(c); });
  if (scheme != "http" && scheme != "https")
    fatalError("SFSafariViewController opens only http and https addresses, not " + url_.absoluteString());
}

void SFSafariViewController::loadView() {
  const auto bounds = UIScreen::mainScreen().bounds();
  auto view = std::make_shared<UIView>(bounds);
  auto address = std::make_shared<UILabel>(CGRectMake(0, 0, bounds.size.width, 44));
  address->setAccessibilityIdentifier("address");
  address->setText(url_.absoluteString());
  view->addSubview(address);
  setView(view);
}

}  // namespace platform
