#include "platform/uikit/main_thread.h"

#include <string>

#include "platform/foundation/console.h"
#include "platform/foundation/queues.h"

namespace platform {

void requireMainThread(const char* call) {
  if (!isMainThread()) fatalError(std::string(call) + " called off the main thread");
}

}  // namespace platform
