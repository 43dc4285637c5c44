#pragma once

#include <filesystem>
#include <functional>
#include <vector>

#include "tools/local_service.h"
#include "tools/session_script.h"
#include "tools/signal_watcher.h"

namespace orvane_session {

struct SessionOptions {
  std::filesystem::path deviceDir = "orvane-device";
  std::vector<Step> steps;
  bool virtualTime = false;
  // Changes how the local service answers before the application starts (tests).
  std::function<void(orvane_service::LocalService&)> prepareService;
};

// Runs the application on the device against the local service, one step after another, and
// prints what the screen shows after each; the last lines say how the session ended. The exit
// status: 0 when every step went through, 1 when one did not, 128 + the signal when interrupted.
// std::runtime_error, with a one-line reason, when the device or the service cannot be used.
int runSession(const SessionOptions& options, const char* programName, SignalWatcher& signals);

}  // namespace orvane_session
