#pragma once

#include <signal.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/local_service.h"

namespace orvane_session {

// One step of a script.
struct Step {
  std::string verb;
  std::string argument;
  std::string text;  // as written, for messages
};

// Clock time a waiting step may take.
constexpr double kStepLimitSeconds = 30.0;

const std::vector<std::string>& defaultScript();
// The steps of the lines; none with the first bad line named in `why` (`where` names the script).
std::optional<std::vector<Step>> parseScript(const std::vector<std::string>& lines, const std::string& where,
                                             std::string& why);
// How long the whole session may take: a minute more than its steps may, a waiting step its limit
// and a wait its own time.
double sessionLimitSeconds(const std::vector<Step>& steps);

// The text with every byte that is not printable ASCII written as \xNN, for messages.
std::string printable(const std::string& text);

// Waits for SIGINT and SIGTERM on its own thread (blocked on every thread made after it), so an
// interrupted session still ends through its own teardown. A second signal, or one after close(),
// ends the program at once with 128 + the signal.
class SignalWatcher {
 public:
  SignalWatcher();
  ~SignalWatcher();
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

  int received() const { return received_.load(); }
  // Called on the watcher's thread at the first signal, at once when one came before.
  void setHandler(std::function<void()> handler);
  // Drops the handler: what it reached is going away.
  void close();

 private:
  void watch();

  sigset_t signals_;
  std::atomic<bool> done_{false};
  std::atomic<int> received_{0};
  std::mutex mutex_;
  bool closed_ = false;
  std::function<void()> handler_;
  std::thread thread_;
};

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
