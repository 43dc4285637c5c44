// The headless application session: starts the local stand-in of the maker's service, launches
// the application on a device directory pointed at it, shows the home screen and walks one
// session through it: the server list, a swipe up to "connected", the server picker and a pick,
// and a swipe down, printing the screen after each step.
#include <functional>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

#include "platform/foundation/bundle.h"
#include "platform/foundation/console.h"
#include "platform/foundation/device.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"
#include "platform/uikit/application.h"
#include "platform/uikit/control.h"
#include "platform/uikit/screen_description.h"
#include "platform/uikit/storyboard.h"
#include "service_client/exchange_key.h"
#include "service_client/remote_config.h"
#include "service_client/service_exchange.h"
#include "app/home_page_view_controller.h"
#include "app/servers_view_controller.h"
#include "app/storyboard_classes.h"
#include "tools/local_service.h"
#include "vpn_core/server_list.h"
#include "vpn_core/tunnel_manager.h"

namespace {

using platform::NEVPNStatus;

int usage() {
  std::fprintf(stderr, "usage: orvane [--device DIR]\n");
  return 2;
}

void say(const std::string& line) { platform::console("OrvaneVPN: " + line); }

std::shared_ptr<platform::Bundle> applicationBundle(const std::string& serviceHost) {
  platform::Bundle::Config config;
  config.resourcePath = ORVANE_RESOURCES_DIR;
  config.info = {
      {"CFBundleIdentifier", platform::PlistValue("com.orvane.vpn")},
      {"CFBundleShortVersionString", platform::PlistValue("1.0")},
      {"CFBundleDisplayName", platform::PlistValue("OrvaneVPN")},
      {kServiceHostInfoKey, platform::PlistValue(serviceHost)},
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

// Acts on the home screen as a user would, one step after another, printing the screen after
// each: the list arriving, a swipe up to connected, the picker, a pick, a swipe down.
class Session {
 public:
  Session(platform::RunLoop& loop, std::shared_ptr<HomePageViewController> home) : loop_(loop), home_(std::move(home)) {}

  void start() {
    show("home screen");
    waitFor("the server list", [this] { return home_->loadingIndicatorView.lock()->isHidden(); }, [this] {
      if (!VPNServerManager::shared()->premiumVPNServersArray().empty()) useConnectableServer();
      show("server list arrived");
      swipe("swipe up to connect");
      waitForLook(NEVPNStatus::connected, [this] {
        show("connected");
        say("tap the server button");
        home_->showServersButtonPressed();
        loop_.asyncAfter(0.5, [this] {
          show("server picker");
          pick();
          loop_.asyncAfter(0.5, [this] {
            show("picked");
            swipe("swipe down to disconnect");
            waitForLook(NEVPNStatus::disconnected, [this] {
              show("disconnected");
              loop_.stop();
            });
          });
        });
      });
    });
  }

 private:
  void show(const std::string& step) { say(step + ":\n" + platform::describeScreen()); }

  void swipe(const std::string& what) {
    say(what);
    auto control = std::dynamic_pointer_cast<platform::UIControl>(home_->view()->viewWithAccessibilityIdentifier("swipeView"));
    control->tap();
  }

  // The tunnel in that status, and the screen's look after its transition.
  void waitForLook(NEVPNStatus status, std::function<void()> then) {
    waitFor(statusName(status), [status] { return VPNConnectionManager::shared()->vpnConnectionState() == status; },
            [this, then = std::move(then)] { loop_.asyncAfter(HomePageViewController::kTransitionDuration + 0.1, then); });
  }

  void waitFor(const std::string& what, std::function<bool()> done, std::function<void()> then) {
    if (done()) {
      then();
      return;
    }
    loop_.asyncAfter(0.05, [this, what, done = std::move(done), then = std::move(then)]() mutable {
      waitFor(what, std::move(done), std::move(then));
    });
  }

  // The list may hold servers the tunnel cannot be built for; the session needs one it can.
  void useConnectableServer() {
    const auto manager = VPNConnectionManager::shared();
    const auto current = manager->currentServer();
    if (current && current->psk() && current->address()) return;
    for (const auto& server : VPNServerManager::shared()->premiumVPNServersArray()) {
      if (!server->psk() || !server->address()) continue;
      say("the current server cannot be connected to; using " + describe(*server));
      manager->setCurrentServer(server);
      manager->saveCurrentServer();
      home_->updateSelectedServer();
      return;
    }
  }

  // Taps the first listed server other than the current one that the tunnel can be built for.
  void pick() {
    auto picker = std::dynamic_pointer_cast<ServersViewController>(home_->presentedViewController());
    if (!picker || !picker->allServers) return;
    const auto current = VPNConnectionManager::shared()->currentServer();
    const auto& servers = *picker->allServers;
    for (size_t row = 0; row < servers.size(); ++row) {
      const auto& server = servers[row];
      if (server == current || !server->psk() || !server->address()) continue;
      say("tap " + describe(*server));
      const auto table = picker->serversTableView.lock();
      const platform::NSIndexPath path{1, static_cast<int>(row)};
      table->selectRowAtIndexPath(path, false);
      table->delegate()->didSelectRowAtIndexPath(*table, path);
      return;
    }
    say("no other server to pick");
    picker->cancelButtonPressed();
  }

  platform::RunLoop& loop_;
  std::shared_ptr<HomePageViewController> home_;
};

}  // namespace

int main(int argc, char** argv) {
  std::string deviceDir = "orvane-device";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--device") == 0 && i + 1 < argc) {
      deviceDir = argv[++i];
    } else {
      return usage();
    }
  }
  try {
    orvane_service::LocalService service;
    auto device = platform::Device::open(deviceDir);
    service.installTrust(*device);
    platform::Process::Options options;
    options.mainBundle = applicationBundle(service.host());
    auto process = platform::Process::launch(device, options);
    auto& loop = process->mainLoop();
    std::shared_ptr<platform::UIWindow> window;
    std::unique_ptr<Session> session;

    loop.async([&] {
      say("started on device " + device->root().string() + ", service " + service.host());
      auto& center = platform::NotificationCenter::defaultCenter();
      center.addObserver(QVCtrl::kUpdateNotificationName, [](const auto&) {
        const auto threshold = QVServerConnect::hasResponse("u.f.e");
        const auto apps = QVServerConnect::hasResponse("u.a.l");
        say("remote configuration refreshed: u.f.e = " + (threshold ? threshold->dump() : "(none)") +
            ", u.a.l lists " + std::to_string(apps && apps->is_array() ? apps->size() : 0) + " applications");
      });
      QVCtrl::oneInst();
      center.addObserver(VPNServerManager::kServersLoaded, [](const auto&) {
        const auto servers = VPNServerManager::shared()->premiumVPNServersArray();
        say("servers loaded: " + std::to_string(servers.size()) + " premium, " +
            std::to_string(VPNServerManager::shared()->freeVPNServersArray().size()) + " free");
        for (const auto& server : servers) say("  " + describe(*server));
      });

      registerStoryboardClasses();
      auto home = std::dynamic_pointer_cast<HomePageViewController>(
          platform::UIStoryboard::storyboardWithName(HomePageViewController::kStoryboardName)
              ->instantiateInitialViewController());
      window = std::make_shared<platform::UIWindow>(platform::UIScreen::mainScreen().bounds());
      window->setRootViewController(home);
      window->makeKeyAndVisible();
      session = std::make_unique<Session>(loop, home);
      session->start();
    });
    loop.asyncAfter(30.0, [&] {
      say("the session did not finish in time");
      loop.stop();
    });
    loop.run();
    say("install identifier " + QVServerConnect::neExtKey().value_or("(none)"));
    say("session ended");
    loop.async([&] {
      session.reset();
      window.reset();
    });
    loop.runUntilIdle();
    process.reset();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvane: %s\n", e.what());
    return 1;
  }
  return 0;
}
