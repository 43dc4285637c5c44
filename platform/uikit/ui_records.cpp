#include "platform/uikit/ui_records.h"

#include "platform/foundation/process.h"

namespace platform::detail {

UIRecords& UIRecords::current() {
  return *Process::current().shared<UIRecords>([] { return std::make_shared<UIRecords>(); });
}

Duration UIRecords::now() { return Process::current().clock().now(); }

}  // namespace platform::detail
