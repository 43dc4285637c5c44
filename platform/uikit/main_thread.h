#pragma once

namespace platform {

// Screen work belongs to the main thread; anything else is a programming error, caught here the
// way the platform's main-thread checker does. `call` names the offending call.
void requireMainThread(const char* call);

}  // namespace platform
