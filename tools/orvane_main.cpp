// OrvaneVPN, headless: starts the local stand-in of the maker's service, runs the application on a
// device directory pointed at it (the program entry through UIApplicationMain, so the splash screen,
// the home screen and everything after them are the application's own), and acts on its screens
// as a user would, one step of a script after another, printing what the screen shows after each.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <exception>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/app_delegate.h"
#include "app/home_page_view_controller.h"
#include "app/program_entry.h"
#include "app/servers_view_controller.h"
#include "platform/foundation/bundle.h"
#include "platform/foundation/console.h"
#include "platform/foundation/device.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"
#include "platform/network_extension/vpn_manager.h"
#include "platform/uikit/application.h"
#include "platform/uikit/control.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/screen_description.h"
#include "service_client/exchange_key.h"
#include "service_client/remote_config.h"
#include "service_client/service_exchange.h"
#include "shared_library/apps/app_metadata_operation.h"
#include "shared_library/settings/settings_screen.h"
#include "tools/local_service.h"
#include "vpn_core/server_list.h"
#include "vpn_core/tunnel_manager.h"

namespace {

using platform::NEVPNStatus;

// Clock time a waiting step may take, and the whole session.
constexpr double kStepLimitSeconds = 30.0;
constexpr double kSessionLimitSeconds = 180.0;
// After an action, for the screen's transitions (0.3 s) to settle before it is printed.
constexpr double kSettleSeconds = 0.5;

constexpr const char* kUsage =
    "usage: orvane [--device DIR] [--script FILE] [--virtual-time]\n"
    "Runs OrvaneVPN headless on the device directory DIR (default: orvane-device) against a local\n"
    "stand-in of the maker's service, and acts on its screens step by step, printing what the\n"
    "screen shows after each step. Without --script it runs the default session:\n"
    "  wait-home, wait-list, swipe, wait-connected, picker, pick other, wait-connected, swipe,\n"
    "  wait-disconnected, settings, close-settings\n"
    "\n"
    "  --script FILE   the steps, one a line; blank lines and lines starting with # are skipped\n"
    "  --virtual-time  the same script on a virtual clock: waits take no time (transfers still do)\n"
    "  --help          this text\n"
    "\n"
    "Steps:\n"
    "  wait-home          until the home screen shows over the splash screen\n"
    "  wait-list          until the server list has arrived (the loading cover is gone)\n"
    "  swipe              swipe the connect control (connects, or disconnects when connected)\n"
    "  wait-connected     until the tunnel is connected\n"
    "  wait-disconnected  until the tunnel is disconnected\n"
    "  picker             tap the server button: the server picker opens\n"
    "  pick N|auto|other  in the picker, tap server N of \"Servers\" (from 1), the \"Auto Select\"\n"
    "                     row, or the first server other than the current one\n"
    "  cancel             close the server picker\n"
    "  settings           tap the settings button: the settings screen opens\n"
    "  close-settings     tap Close on the settings screen\n"
    "  wait SECONDS       let that much time pass\n"
    "A waiting step gives up after 30 seconds. Exits 0 when every step went through, 1 with the\n"
    "reason when one did not, 2 for a usage error.\n";

int usageError(const std::string& what) {
  std::fprintf(stderr, "orvane: %s\n%s", what.c_str(), kUsage);
  return 2;
}

void say(const std::string& line) { platform::console("OrvaneVPN: " + line); }

std::shared_ptr<platform::Bundle> applicationBundle(const orvane_service::LocalService& service) {
  platform::Bundle::Config config;
  config.resourcePath = ORVANE_RESOURCES_DIR;
  config.info = {
      {"CFBundleIdentifier", platform::PlistValue("com.orvane.vpn")},
      {"CFBundleShortVersionString", platform::PlistValue("1.0")},
      {"CFBundleDisplayName", platform::PlistValue("OrvaneVPN")},
      {kServiceHostInfoKey, platform::PlistValue(service.host())},
      {kStoreLookupBaseInfoKey, platform::PlistValue(service.storeLookupBase())},
  };
  return std::make_shared<platform::Bundle>(std::move(config));
}

std::string describe(const VPNServer& server) {
  std::string load = server.loadPercent() ? std::to_string(static_cast<int>(*server.loadPercent())) + "%" : "?";
  return server.title().value_or("(untitled)") + " - " + server.city().value_or("?") + ", " +
         server.country().value_or("?") + " - " + server.address().value_or("(no address)") + " - load " + load;
}

const char* statusName(NEVPNStatus status) {
  switch (status) {
    case NEVPNStatus::invalid: return "invalid";
    case NEVPNStatus::disconnected: return "disconnected";
    case NEVPNStatus::connecting: return "connecting";
    case NEVPNStatus::connected: return "connected";
    case NEVPNStatus::reasserting: return "reasserting";
    case NEVPNStatus::disconnecting: return "disconnecting";
  }
  return "unknown";
}

struct Step {
  std::string verb;
  std::string argument;
  std::string text;  // as written, for messages
};

const std::vector<std::string>& defaultScript() {
  static const std::vector<std::string> lines{"wait-home", "wait-list",      "swipe",
                                              "wait-connected", "picker", "pick other",
                                              "wait-connected", "swipe", "wait-disconnected",
                                              "settings",  "close-settings"};
  return lines;
}

bool isCount(const std::string& s) {
  if (s.empty() || s.size() > 6) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return std::stoi(s) >= 1;
}

bool isSeconds(const std::string& s) {
  try {
    std::size_t used = 0;
    const double v = std::stod(s, &used);
    return used == s.size() && v >= 0 && v <= 3600;
  } catch (const std::exception&) {
    return false;
  }
}

// One step from its line; none with the reason when it is not a step.
std::optional<Step> parseStep(const std::string& line, std::string& why) {
  std::istringstream in(line);
  Step step;
  step.text = line;
  in >> step.verb;
  in >> step.argument;
  std::string extra;
  if (in >> extra) {
    why = "too many words";
    return std::nullopt;
  }
  static const std::vector<std::string> bare{"wait-home",         "wait-list", "swipe",    "wait-connected",
                                             "wait-disconnected", "picker",    "cancel",   "settings",
                                             "close-settings"};
  for (const auto& verb : bare) {
    if (step.verb != verb) continue;
    if (!step.argument.empty()) {
      why = verb + " takes no argument";
      return std::nullopt;
    }
    return step;
  }
  if (step.verb == "pick") {
    if (step.argument == "auto" || step.argument == "other" || isCount(step.argument)) return step;
    why = "pick takes a server number from 1, auto or other";
    return std::nullopt;
  }
  if (step.verb == "wait") {
    if (isSeconds(step.argument)) return step;
    why = "wait takes a number of seconds from 0 to 3600";
    return std::nullopt;
  }
  why = "unknown step \"" + step.verb + "\"";
  return std::nullopt;
}

// The steps of the lines; the first bad line is the reason when there is one.
std::optional<std::vector<Step>> parseScript(const std::vector<std::string>& lines, const std::string& where,
                                             std::string& why) {
  std::vector<Step> steps;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto& line = lines[i];
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    std::string reason;
    auto step = parseStep(line.substr(first), reason);
    if (!step) {
      why = where + ":" + std::to_string(i + 1) + ": " + reason;
      return std::nullopt;
    }
    steps.push_back(std::move(*step));
  }
  if (steps.empty()) {
    why = where + " holds no step";
    return std::nullopt;
  }
  return steps;
}

// Waits for SIGINT and SIGTERM on its own thread (blocked everywhere else), so that an
// interrupted session still ends through the normal teardown and leaves no temporary files.
class SignalWatcher {
 public:
  SignalWatcher() {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    thread_ = std::thread([this] { watch(); });
  }
  ~SignalWatcher() {
    done_ = true;
    thread_.join();
  }
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

  int received() const { return received_.load(); }
  // Called on the watcher's thread when a signal arrives; none to stop calling.
  void setHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
    if (handler_ && received_) handler_();
  }

 private:
  void watch() {
    const timespec tick{0, 100'000'000};
    while (!done_) {
      const int signal = sigtimedwait(&signals_, nullptr, &tick);
      if (signal <= 0) continue;
      received_ = signal;
      std::lock_guard lock(mutex_);
      if (handler_) handler_();
    }
  }

  sigset_t signals_;
  std::atomic<bool> done_{false};
  std::atomic<int> received_{0};
  std::mutex mutex_;
  std::function<void()> handler_;
  std::thread thread_;
};

// Runs the steps on the main queue, one after another, each printing the screen when done. The
// first failure, or the last step, ends the application with its exit status.
class ScriptRunner : public std::enable_shared_from_this<ScriptRunner> {
 public:
  explicit ScriptRunner(std::vector<Step> steps) : steps_(std::move(steps)) {}

  // Main thread only.
  void start() {
    show("launched");
    next();
  }
  void fail(const std::string& why) { end(1, why); }
  void interrupted(int signal) {
    end(128 + signal, std::string("interrupted by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
  }
  int status() const { return status_.value_or(1); }
  const std::string& failure() const { return failure_; }

 private:
  static std::shared_ptr<HomePageViewController> homeScreen() {
    auto window = platform::UIApplication::sharedApplication()->keyWindow();
    auto root = window ? window->rootViewController() : nullptr;
    auto home = root ? std::dynamic_pointer_cast<HomePageViewController>(root->presentedViewController()) : nullptr;
    return home && !home->isBeingPresented() ? home : nullptr;
  }
  static std::shared_ptr<ServersViewController> picker() {
    auto home = homeScreen();
    auto picker = home ? std::dynamic_pointer_cast<ServersViewController>(home->presentedViewController()) : nullptr;
    return picker && !picker->isBeingPresented() ? picker : nullptr;
  }
  static std::shared_ptr<SettingsScreen> settingsScreen() {
    auto home = homeScreen();
    auto navigation = home ? std::dynamic_pointer_cast<platform::UINavigationController>(home->presentedViewController()) : nullptr;
    auto screen = navigation && !navigation->isBeingPresented()
                      ? std::dynamic_pointer_cast<SettingsScreen>(navigation->topViewController())
                      : nullptr;
    return screen;
  }
  static NEVPNStatus tunnel() { return VPNConnectionManager::shared()->vpnConnectionState(); }

  void end(int status, const std::string& why) {
    if (status_) return;
    status_ = status;
    failure_ = why;
    platform::UIApplication::sharedApplication()->terminate(status);
  }

  void show(const std::string& what) { say(what + ":\n" + platform::describeScreen()); }

  void next() {
    if (status_) return;
    if (index_ == steps_.size()) return end(0, "");
    const Step step = steps_[index_++];
    say("step " + std::to_string(index_) + ": " + step.text);
    run(step);
  }

  // Shows the screen once the transitions have settled, then goes on.
  void settled(const std::string& what) {
    auto self = shared_from_this();
    platform::DispatchQueue::main().asyncAfter(kSettleSeconds, [self, what] {
      if (self->status_) return;
      self->show(what);
      self->next();
    });
  }

  void waitUntil(const std::string& what, std::function<bool()> done, double deadline) {
    if (status_) return;
    if (done()) return settled(what);
    if (now() >= deadline)
      return fail("step " + std::to_string(index_) + " (" + steps_[index_ - 1].text + "): " + what +
                  " did not happen within " + std::to_string(static_cast<int>(kStepLimitSeconds)) + " seconds");
    auto self = shared_from_this();
    platform::DispatchQueue::main().asyncAfter(0.05, [self, what, done = std::move(done), deadline]() mutable {
      self->waitUntil(what, std::move(done), deadline);
    });
  }
  void waitUntil(const std::string& what, std::function<bool()> done) {
    waitUntil(what, std::move(done), now() + kStepLimitSeconds);
  }
  static double now() { return platform::toSeconds(platform::Process::current().clock().now()); }

  void run(const Step& step) {
    if (step.verb == "wait-home") return waitUntil("the home screen", [] { return homeScreen() != nullptr; });
    if (step.verb == "wait-list")
      return waitUntil("the server list", [] {
        auto home = homeScreen();
        auto cover = home ? home->loadingIndicatorView.lock() : nullptr;
        return cover && cover->isHidden();
      });
    if (step.verb == "wait-connected")
      return waitUntil("connected", [] { return tunnel() == NEVPNStatus::connected; });
    if (step.verb == "wait-disconnected")
      return waitUntil("disconnected", [] { return tunnel() == NEVPNStatus::disconnected; });
    if (step.verb == "wait") {
      auto self = shared_from_this();
      const std::string what = "after " + step.argument + " s";
      platform::DispatchQueue::main().asyncAfter(std::stod(step.argument), [self, what] {
        if (self->status_) return;
        self->show(what);
        self->next();
      });
      return;
    }
    auto home = homeScreen();
    if (!home) return fail("step " + std::to_string(index_) + " (" + step.text + "): the home screen is not shown");
    if (step.verb == "swipe") {
      auto control = std::dynamic_pointer_cast<platform::UIControl>(home->view()->viewWithAccessibilityIdentifier("swipeView"));
      if (!control) return fail("the home screen has no connect control");
      control->tap();
      return settled("swiped");
    }
    if (step.verb == "picker") {
      home->showServersButtonPressed();
      return waitUntil("the server picker", [] { return picker() != nullptr; });
    }
    if (step.verb == "settings") {
      home->serversButtonPressed();
      return waitUntil("the settings screen", [] { return settingsScreen() != nullptr; });
    }
    if (step.verb == "close-settings") {
      auto screen = settingsScreen();
      if (!screen) return fail("step " + std::to_string(index_) + " (" + step.text + "): the settings screen is not shown");
      auto close = std::dynamic_pointer_cast<platform::UIControl>(screen->view()->viewWithAccessibilityIdentifier("close"));
      if (!close) return fail("the settings screen has no close button");
      close->tap();
      return waitUntil("the settings screen closed", [] { auto home = homeScreen(); return home && !home->presentedViewController(); });
    }
    auto list = picker();
    if (!list) return fail("step " + std::to_string(index_) + " (" + step.text + "): the server picker is not shown");
    if (step.verb == "cancel") {
      list->cancelButtonPressed();
      return settled("picker closed");
    }
    pick(*list, step.argument);
  }

  void pick(ServersViewController& list, const std::string& which) {
    const auto table = list.serversTableView.lock();
    const std::vector<std::shared_ptr<VPNServer>> servers =
        list.allServers ? std::vector<std::shared_ptr<VPNServer>>(list.allServers->begin(), list.allServers->end())
                        : std::vector<std::shared_ptr<VPNServer>>{};
    platform::NSIndexPath path{0, 0};
    if (which == "other") {
      const auto current = VPNConnectionManager::shared()->currentServer();
      std::optional<std::size_t> row;
      for (std::size_t i = 0; i < servers.size() && !row; ++i)
        if (servers[i] != current && servers[i]->psk() && servers[i]->address()) row = i;
      if (!row) return fail("the picker lists no other server to pick");
      path = {1, static_cast<int>(*row)};
    } else if (which != "auto") {
      const auto n = static_cast<std::size_t>(std::stoi(which));
      if (n > servers.size())
        return fail("the picker lists " + std::to_string(servers.size()) + " servers, not " + which);
      path = {1, static_cast<int>(n - 1)};
    }
    if (!table || !table->delegate()) return fail("the server picker has no table");
    say(path.section == 0 ? std::string("tap Auto Select") : "tap " + describe(*servers[static_cast<std::size_t>(path.row)]));
    table->selectRowAtIndexPath(path, false);
    table->delegate()->didSelectRowAtIndexPath(*table, path);
    settled("picked");
  }

  const std::vector<Step> steps_;
  std::size_t index_ = 0;
  std::optional<int> status_;  // main thread only
  std::string failure_;
};

struct SessionOptions {
  std::string deviceDir = "orvane-device";
  std::vector<Step> steps;
  bool virtualTime = false;
};

int runSession(const SessionOptions& options, const char* programName, SignalWatcher& signals) {
  // the device first: a directory another session holds is refused before anything starts
  auto device = platform::Device::open(options.deviceDir);
  // the service remembers the installs it has seen, so a later run gets its token back
  orvane_service::LocalService service({.stateFile = device->root() / "local-service.json"});
  service.installTrust(*device);
  platform::Process::Options processOptions;
  processOptions.mainBundle = applicationBundle(service);
  if (options.virtualTime) processOptions.clock = std::make_shared<platform::VirtualClock>();
  auto process = platform::Process::launch(device, processOptions);
  auto& loop = process->mainLoop();
  auto runner = std::make_shared<ScriptRunner>(options.steps);
  struct StopHandling {
    SignalWatcher& signals;
    ~StopHandling() { signals.setHandler(nullptr); }
  } stopHandling{signals};  // before the loop goes, on every way out
  signals.setHandler([&loop, runner, &signals] {
    const int signal = signals.received();
    loop.async([runner, signal] { runner->interrupted(signal); });
  });

  // queued before the application starts: they run once it has launched
  loop.async([&] {
    say("started on device " + device->root().string() + ", service " + service.host());
    auto& center = platform::NotificationCenter::defaultCenter();
    center.addObserver(QVCtrl::kUpdateNotificationName, [](const auto&) {
      const auto threshold = QVServerConnect::hasResponse("u.f.e");
      const auto apps = QVServerConnect::hasResponse("u.a.l");
      say("remote configuration refreshed: u.f.e = " + (threshold ? threshold->dump() : "(none)") +
          ", u.a.l lists " + std::to_string(apps && apps->is_array() ? apps->size() : 0) + " applications");
    });
    // the facility's own status at each change, as the system reports it
    center.addObserver(platform::NEVPNStatusDidChangeNotification, [manager = VPNConnectionManager::shared()](const auto&) {
      say(std::string("tunnel ") + statusName(manager->vpnManager()->connection()->status()));
    });
    runner->start();
  });
  loop.asyncAfter(kSessionLimitSeconds, [runner] {
    runner->fail("the session did not finish within " + std::to_string(static_cast<int>(kSessionLimitSeconds)) +
                 " seconds");
  });
  char* argv[] = {const_cast<char*>(programName), nullptr};
  const int status = applicationMain(1, argv);
  say("install identifier " + QVServerConnect::neExtKey().value_or("(none)"));
  say(status == 0 ? "session ended" : "session failed: " + runner->failure());
  // a signal handled from now on must not reach a loop that is going away
  signals.setHandler(nullptr);
  process.reset();
  if (status != 0) std::fprintf(stderr, "orvane: %s\n", runner->failure().c_str());
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  SessionOptions options;
  std::optional<std::string> scriptFile;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--device") {
      if (i + 1 >= argc) return usageError("--device needs a directory");
      options.deviceDir = argv[++i];
    } else if (arg == "--script") {
      if (i + 1 >= argc) return usageError("--script needs a file");
      scriptFile = argv[++i];
    } else if (arg == "--virtual-time") {
      options.virtualTime = true;
    } else {
      return usageError("unknown argument \"" + arg + "\"");
    }
  }
  std::vector<std::string> lines = defaultScript();
  std::string where = "the default session";
  if (scriptFile) {
    std::ifstream in(*scriptFile);
    if (!in) {
      std::fprintf(stderr, "orvane: cannot read the script %s\n", scriptFile->c_str());
      return 1;
    }
    lines.clear();
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (in.bad()) {
      std::fprintf(stderr, "orvane: cannot read the script %s\n", scriptFile->c_str());
      return 1;
    }
    where = *scriptFile;
  }
  std::string why;
  auto steps = parseScript(lines, where, why);
  if (!steps) return usageError(why);
  options.steps = std::move(*steps);

  SignalWatcher signals;
  try {
    return runSession(options, argv[0], signals);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvane: %s\n", e.what());
    return 1;
  }
}
