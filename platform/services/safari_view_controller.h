#pragma once

#include "platform/network/url.h"
#include "platform/uikit/view_controller.h"

namespace platform {

struct SFSafariViewControllerConfiguration {
  bool entersReaderIfAvailable = false;
};

// The in-app browser page. Like the platform's, it takes only http and https addresses; any
// other scheme is a programming error, so a caller that does not check is caught.
class SFSafariViewController : public UIViewController {
 public:
  explicit SFSafariViewController(URL url, SFSafariViewControllerConfiguration configuration = {});

  const URL& url() const { return url_; }
  const SFSafariViewControllerConfiguration& configuration() const { return configuration_; }

  // Shows the address, which is all a headless browser page shows.
  void loadView() override;

 private:
  URL url_;
  SFSafariViewControllerConfiguration configuration_;
};

}  // namespace platform
