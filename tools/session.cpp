// A headless session: starts the local stand-in of the maker's service, runs the application on a
// device directory pointed at it (the program entry through UIApplicationMain, so the splash
// screen, the home screen and everything after them are the application's own), and acts on its
// screens as a user would, one step of a script after another, printing what the screen shows.
#include "tools/session.h"


#include <cstdio>
#include <memory>

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
#include "platform/uikit/class_name.h"
#include "platform/uikit/control.h"
#include "platform/uikit/navigation_controller.h"
#include "platform/uikit/screen_description.h"
#include "service_client/exchange_key.h"
#include "service_client/remote_config.h"
#include "service_client/service_exchange.h"
#include "shared_library/apps/app_metadata_operation.h"
#include "shared_library/settings/settings_screen.h"
#include "vpn_core/server_list.h"
#include "vpn_core/tunnel_manager.h"

namespace orvane_session {

namespace {

using platform::NEVPNStatus;

// After an action, for the screen's transitions (0.3 s) to settle before it is printed.
constexpr double kSettleSeconds = 0.5;

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

// What a screen shows over the one a step acts on, in the words of the help.
std::string nameOf(const platform::UIViewController& controller) {
  if (dynamic_cast<const ServersViewController*>(&controller)) return "the server picker";
  if (auto navigation = dynamic_cast<const platform::UINavigationController*>(&controller))
    if (std::dynamic_pointer_cast<SettingsScreen>(navigation->topViewController())) return "the settings screen";
  return platform::classNameOf(controller);
}

// Whether the server list arrived, as the notifications told; they come on the service's queue.
class ListArrival {
 public:
  void observe() {
    auto& center = platform::NotificationCenter::defaultCenter();
    center.addObserver(VPNServerManager::kServersLoaded, [this](const auto&) { set(State::loaded, ""); });
    center.addObserver(VPNServerManager::kFailedToLoadServers, [this](const auto&) {
      set(State::failed, VPNServerManager::shared()->lastLoadFailure().value_or("the exchange failed"));
    });
  }
  // None while the list is on its way or has arrived; why it did not, otherwise.
  std::optional<std::string> failure() const {
    std::lock_guard lock(mutex_);
    if (state_ == State::failed) return "the server list did not arrive: " + reason_;
    if (state_ == State::loaded && VPNServerManager::shared()->premiumVPNServersArray().empty())
      return VPNServerManager::shared()->lastLoadFailure().value_or("the service sent an empty server list");
    return std::nullopt;
  }

 private:
  enum class State { pending, loaded, failed };
  void set(State state, std::string reason) {
    std::lock_guard lock(mutex_);
    state_ = state;
    reason_ = std::move(reason);
  }
  mutable std::mutex mutex_;
  State state_ = State::pending;
  std::string reason_;
};

// Runs the steps on the main queue, one after another, each printing the screen when done. The
// first failure, or the last step, ends the application with its exit status.
class ScriptRunner : public std::enable_shared_from_this<ScriptRunner> {
 public:
  explicit ScriptRunner(std::vector<Step> steps) : steps_(std::move(steps)) {}

  // Main thread only, from here on.
  void start() {
    list_.observe();
    show("launched");
    next();
  }
  void fail(const std::string& why) { end(1, why); }
  void interrupted(int signal) {
    end(128 + signal, std::string("interrupted by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
  }
  const std::string& failure() const { return failure_; }

 private:
  // What a waiting step sees: done, not yet, or failed with the reason.
  struct Progress {
    bool done = false;
    std::optional<std::string> failure;
  };

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
  static std::shared_ptr<platform::UINavigationController> settingsNavigation() {
    auto home = homeScreen();
    auto navigation =
        home ? std::dynamic_pointer_cast<platform::UINavigationController>(home->presentedViewController()) : nullptr;
    if (!navigation || navigation->isBeingPresented()) return nullptr;
    return std::dynamic_pointer_cast<SettingsScreen>(navigation->topViewController()) ? navigation : nullptr;
  }
  static NEVPNStatus tunnel() { return VPNConnectionManager::shared()->vpnConnectionState(); }
  // What a swipe brings down.
  static bool tunnelIsUp(NEVPNStatus s) { return s == NEVPNStatus::connecting || s == NEVPNStatus::connected; }
  // No configuration yet is disconnected too, as the screen shows.
  static bool tunnelIsDown(NEVPNStatus s) { return s == NEVPNStatus::disconnected || s == NEVPNStatus::invalid; }

  void end(int status, const std::string& why) {
    if (status_) return;
    status_ = status;
    failure_ = why;
    platform::UIApplication::sharedApplication()->terminate(status);
  }

  std::string stepName() const { return "step " + std::to_string(index_) + " (" + steps_[index_ - 1].text + ")"; }
  void failStep(const std::string& why) { fail(stepName() + ": " + why); }

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

  // `missed` says what became of it when the limit passes: a list "did not arrive", a state "did
  // not happen".
  void waitFor(const std::string& what, std::function<Progress()> check, double deadline, const char* missed) {
    if (status_) return;
    const Progress progress = check();
    if (progress.failure) return failStep(*progress.failure);
    if (progress.done) return settled(what);
    if (now() >= deadline)
      return failStep(what + " " + missed + " within " + std::to_string(static_cast<int>(kStepLimitSeconds)) +
                      " seconds");
    auto self = shared_from_this();
    platform::DispatchQueue::main().asyncAfter(0.05, [self, what, check = std::move(check), deadline, missed]() mutable {
      self->waitFor(what, std::move(check), deadline, missed);
    });
  }
  void waitFor(const std::string& what, std::function<Progress()> check, const char* missed = "did not happen") {
    waitFor(what, std::move(check), now() + kStepLimitSeconds, missed);
  }
  void waitUntil(const std::string& what, std::function<bool()> done) {
    waitFor(what, [done = std::move(done)] { return Progress{done(), std::nullopt}; });
  }
  static double now() { return platform::toSeconds(platform::Process::current().clock().now()); }

  // Connected; once the tunnel is down with no attempt to come, why the connect failed fails the
  // step at once. A failure the manager cannot name is left to the step's limit.
  static Progress connected() {
    if (tunnel() == NEVPNStatus::connected) return {true, {}};
    const auto manager = VPNConnectionManager::shared();
    // pending first: an attempt ends only after its start has moved the tunnel
    if (manager->attemptsPending() || !tunnelIsDown(manager->vpnManager()->connection()->status())) return {};
    const auto why = manager->lastConnectFailure();
    if (!why) return {};
    return {false, "connected did not happen: " + *why};
  }

  // The list itself, and the home screen's cover gone; a load that failed fails the step.
  Progress serverList() const {
    auto home = homeScreen();
    auto cover = home ? home->loadingIndicatorView.lock() : nullptr;
    if (!VPNServerManager::shared()->premiumVPNServersArray().empty() && cover && cover->isHidden()) return {true, {}};
    return {false, list_.failure()};
  }

  void run(const Step& step) {
    if (step.verb == "wait-home") return waitUntil("the home screen", [] { return homeScreen() != nullptr; });
    if (step.verb == "wait-list") return waitFor("the server list", [this] { return serverList(); }, "did not arrive");
    if (step.verb == "wait-connected") return waitFor("connected", [] { return connected(); });
    if (step.verb == "wait-disconnected") return waitUntil("disconnected", [] { return tunnelIsDown(tunnel()); });
    if (step.verb == "wait") {
      auto self = shared_from_this();
      const std::string what = "after " + step.argument + " s";
      platform::DispatchQueue::main().asyncAfter(*waitSeconds(step.argument), [self, what] {
        if (self->status_) return;
        self->show(what);
        self->next();
      });
      return;
    }
    if (step.verb == "close-settings") return closeSettings();
    if (step.verb == "pick" || step.verb == "cancel") return onPicker(step);
    onHomeScreen(step);
  }

  // The screen a step acts on, when it shows and nothing covers it; otherwise the step fails.
  bool uncovered(const std::shared_ptr<platform::UIViewController>& screen, const std::string& name) {
    if (!screen) {
      failStep(name + " is not shown");
      return false;
    }
    if (auto cover = screen->presentedViewController()) {
      failStep(name + " is covered by " + nameOf(*cover));
      return false;
    }
    return true;
  }

  void onHomeScreen(const Step& step) {
    auto home = homeScreen();
    if (!uncovered(home, "the home screen")) return;
    if (step.verb == "swipe") return swipe(*home, "swiped");
    if (step.verb == "bring-down") return bringDown(*home);
    if (step.verb == "picker") {
      home->showServersButtonPressed();
      return waitUntil("the server picker", [] { return picker() != nullptr; });
    }
    home->serversButtonPressed();  // "settings"
    waitUntil("the settings screen", [] { return settingsNavigation() != nullptr; });
  }

  // Taps the connect control; false, with the step failed, when the screen has none.
  bool swipeControl(HomePageViewController& home) {
    auto control =
        std::dynamic_pointer_cast<platform::UIControl>(home.view()->viewWithAccessibilityIdentifier("swipeView"));
    if (!control) {
      failStep("the home screen has no connect control");
      return false;
    }
    control->tap();
    return true;
  }

  void swipe(HomePageViewController& home, const std::string& what) {
    if (swipeControl(home)) settled(what);
  }

  // A tunnel an earlier session left up comes down first, so the session starts from the
  // disconnected look.
  void bringDown(HomePageViewController& home) {
    const auto status = tunnel();
    if (tunnelIsDown(status)) return settled("the tunnel is down");
    if (tunnelIsUp(status)) {
      say(std::string("the tunnel is ") + statusName(status) + " from before this session: bringing it down");
      if (!swipeControl(home)) return;
    }
    waitUntil("disconnected", [] { return tunnelIsDown(tunnel()); });
  }

  void closeSettings() {
    auto navigation = settingsNavigation();
    if (!uncovered(navigation, "the settings screen")) return;
    auto screen = navigation->topViewController();
    auto close = std::dynamic_pointer_cast<platform::UIControl>(screen->view()->viewWithAccessibilityIdentifier("close"));
    if (!close) return failStep("the settings screen has no close button");
    close->tap();
    waitUntil("the settings screen closed", [] {
      auto home = homeScreen();
      return home && !home->presentedViewController();
    });
  }

  void onPicker(const Step& step) {
    auto list = picker();
    if (!uncovered(list, "the server picker")) return;
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
      if (!row) return failStep("the picker lists no other server to pick");
      path = {1, static_cast<int>(*row)};
    } else if (which != "auto") {
      const std::size_t n = *serverNumber(which);
      if (n > servers.size())
        return failStep("the picker lists " + std::to_string(servers.size()) + " servers, not " + which);
      path = {1, static_cast<int>(n - 1)};
    }
    if (!table || !table->delegate()) return failStep("the server picker has no table");
    say(path.section == 0 ? std::string("tap Auto Select")
                          : "tap " + describe(*servers[static_cast<std::size_t>(path.row)]));
    table->selectRowAtIndexPath(path, false);
    table->delegate()->didSelectRowAtIndexPath(*table, path);
    settled("picked");
  }

  const std::vector<Step> steps_;
  std::size_t index_ = 0;
  std::optional<int> status_;  // main thread only
  std::string failure_;
  ListArrival list_;
};

// What the session reports as it goes, beside the screens.
void observeReports() {
  auto& center = platform::NotificationCenter::defaultCenter();
  center.addObserver(QVCtrl::kUpdateNotificationName, [](const auto&) {
    const auto threshold = QVServerConnect::hasResponse("u.f.e");
    const auto apps = QVServerConnect::hasResponse("u.a.l");
    say("remote configuration refreshed: u.f.e = " + (threshold ? threshold->dump() : "(none)") + ", u.a.l lists " +
        std::to_string(apps && apps->is_array() ? apps->size() : 0) + " applications");
  });
  // the facility's own status at each change, as the system reports it
  center.addObserver(platform::NEVPNStatusDidChangeNotification,
                     [manager = VPNConnectionManager::shared()](const auto&) {
                       say(std::string("tunnel ") + statusName(manager->vpnManager()->connection()->status()));
                     });
}

}  // namespace

int runSession(const SessionOptions& options, const char* programName, SignalWatcher& signals) {
  // the device first: a directory another session holds is refused before anything starts
  auto device = platform::Device::open(options.deviceDir);
  // the service remembers the installs it has seen, so a later run gets its token back; its
  // certificate lives on the device, where the next run replaces it whatever ended this one
  orvane_service::LocalService service(
      {.stateFile = device->root() / "local-service.json", .certificateDirectory = device->root()});
  if (options.prepareService) options.prepareService(service);
  service.installTrust(*device);
  platform::Process::Options processOptions;
  processOptions.mainBundle = applicationBundle(service);
  if (options.virtualTime) processOptions.clock = std::make_shared<platform::VirtualClock>();
  auto process = platform::Process::launch(device, processOptions);
  auto& loop = process->mainLoop();
  auto runner = std::make_shared<ScriptRunner>(options.steps);
  struct StopHandling {
    SignalWatcher& signals;
    ~StopHandling() { signals.close(); }
  } stopHandling{signals};  // before the loop goes, on every way out
  signals.setHandler([&loop, runner, &signals] {
    const int signal = signals.received();
    loop.async([runner, signal] { runner->interrupted(signal); });
  });
  // a device file that is there but cannot be read ends the session at once, the file untouched
  process->setUnusableDeviceFileHandler([&loop, runner](const std::string& line) {
    loop.async([runner, line] { runner->fail(line); });
  });

  // queued before the application starts: they run once it has launched
  loop.async([&] {
    say("started on device " + device->root().string() + ", service " + service.host());
    observeReports();
    runner->start();
  });
  const double limit = sessionLimitSeconds(options.steps);
  loop.asyncAfter(limit, [runner, limit] {
    runner->fail("the session did not finish within " + std::to_string(static_cast<int>(limit)) + " seconds");
  });
  char* argv[] = {const_cast<char*>(programName), nullptr};
  const int status = applicationMain(1, argv);
  signals.close();
  const std::string install = QVServerConnect::neExtKey().value_or("(none)");
  // what is still in flight is abandoned, so the process ends now and prints nothing after this
  process.reset();
  say("install identifier " + install);
  say(status == 0 ? "session ended" : "session failed: " + runner->failure());
  if (status != 0) std::fprintf(stderr, "orvane: %s\n", runner->failure().c_str());
  return status;
}

}  // namespace orvane_session
