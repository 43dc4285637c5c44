#pragma once

#include <string>
#include <vector>

#include "platform/network/url.h"
#include "platform/uikit/view_controller.h"

namespace platform {

struct SFSafariViewControllerConfiguration {
  bool entersReaderIfAvailable = false;
};

// The in-application web page: it keeps its address and configuration; nothing is loaded.
class SFSafariViewController : public UIViewController {
 public:
  SFSafariViewController(URL url, SFSafariViewControllerConfiguration configuration = {});
  const URL& url() const { return url_; }
  const SFSafariViewControllerConfiguration& configuration() const { return configuration_; }

  void loadView() override;

 private:
  URL url_;
  SFSafariViewControllerConfiguration configuration_;
};

}  // namespace platform
