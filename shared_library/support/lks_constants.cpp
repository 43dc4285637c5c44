#include "shared_library/support/lks_constants.h"

#include <memory>

#include "platform/foundation/process.h"
#include "platform/uikit/application.h"

namespace {

struct IPadAnswer {
  bool value;
};

}  // namespace

bool LKSConstants::isIPad() {
  return platform::Process::current()
      .shared<IPadAnswer>([] {
        const bool pad =
            platform::UIDevice::currentDevice().userInterfaceIdiom() == platform::UIUserInterfaceIdiom::pad;
        return std::make_shared<IPadAnswer>(IPadAnswer{pad});
      })
      ->value;
}
