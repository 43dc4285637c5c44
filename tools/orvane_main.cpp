// The headless application session: starts the local stand-in of the maker's service, launches
// the application on a device directory pointed at it, and walks one session through: the
// remote configuration, the server list, a connect up to "connected", and a disconnect.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/foundation/bundle.h"
#include "platform/foundation/console.h"
#include "platform/foundation/device.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"
#include "service_client/exchange_key.h"
#include "service_client/remote_config.h"
#include "service_client/service_exchange.h"
#include "tools/local_service.h"
#include "vpn_core/server_list.h"
#include "vpn_core/tunnel_manager.h"

namespace {

using platform::NEVPNStatus;

constexpr double kTimeLimitSeconds = 30.0;
// after a fall back to disconnected: time for the manager's second attempt to show
constexpr double kConnectGraceSeconds = 2.0;

constexpr const char* kUsage =
    "usage: orvane [--device DIR]\n"
    "Runs one headless session of OrvaneVPN on the device directory DIR (default: orvane-device)\n"
    "against a local stand-in of the maker's service: the remote configuration, the server list,\n"
    "a connect up to \"connected\" and a disconnect. Exits 0 when the session went through.\n";

int usageError(const std::string& what) {
  std::fprintf(stderr, "orvane: %s\n%s", what.c_str(), kUsage);
  return 2;
}

void say(const std::string& line) { platform::console("OrvaneVPN: " + line); }

std::shared_ptr<platform::Bundle> applicationBundle(const std::string& serviceHost) {
  platform::Bundle::Config config;
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

// Shows each status change; once connected, disconnects; once disconnected again, ends the run.
// The first outcome decides how the session ends.
class Session : public VPNConnectionManagerDelegate {
 public:
  explicit Session(platform::RunLoop& loop) : loop_(loop) {}

  void vpnConnectionStateChanged() override {
    const auto manager = VPNConnectionManager::shared();
    const auto status = manager->vpnConnectionState();
    say(std::string("tunnel ") + statusName(status));
    if (status == NEVPNStatus::connecting) sawConnecting_ = true;
    if (status == NEVPNStatus::connected && !wasConnected_.exchange(true)) {
      platform::DispatchQueue::main().async([manager] {
        say("disconnecting");
        manager->withdrawPendingAttempts();
        manager->vpnManager()->connection()->stopVPNTunnel();
      });
    } else if (status == NEVPNStatus::disconnected && wasConnected_) {
      platform::DispatchQueue::main().async([this] { succeed(); });
    } else if (status == NEVPNStatus::disconnected && sawConnecting_) {
      // fell back before it ever connected: give the second attempt its time, then give up
      platform::DispatchQueue::main().asyncAfter(kConnectGraceSeconds, [this, manager] {
        const auto now = manager->vpnConnectionState();
        if (wasConnected_ || now == NEVPNStatus::connecting || now == NEVPNStatus::connected) return;
        const auto server = manager->currentServer();
        fail("the tunnel could not be connected to " + (server ? describe(*server) : std::string("the server")));
      });
    }
  }

  // Main thread only.
  void succeed() { end(0, ""); }
  void fail(const std::string& why) { end(1, why); }
  void interrupted(int signal) { end(128 + signal, std::string("interrupted by ") + (signal == SIGINT ? "SIGINT" : "SIGTERM")); }

  int status() const { return status_.value_or(1); }
  const std::string& failure() const { return failure_; }

 private:
  void end(int status, const std::string& why) {
    if (status_) return;
    status_ = status;
    failure_ = why;
    loop_.stop();
  }

  platform::RunLoop& loop_;
  std::atomic<bool> wasConnected_{false};
  std::atomic<bool> sawConnecting_{false};  // a disconnected before any connect is the load's
  std::optional<int> status_;  // main thread only
  std::string failure_;
};

int runSession(const std::string& deviceDir, SignalWatcher& signals) {
  // the device first: a directory another session holds is refused before anything starts
  auto device = platform::Device::open(deviceDir);
  // the service remembers the installs it has seen, so a later run gets its token back
  orvane_service::LocalService service({.stateFile = device->root() / "local-service.json"});
  service.installTrust(*device);
  platform::Process::Options options;
  options.mainBundle = applicationBundle(service.host());
  auto process = platform::Process::launch(device, options);
  auto& loop = process->mainLoop();
  auto session = std::make_shared<Session>(loop);
  struct StopHandling {
    SignalWatcher& signals;
    ~StopHandling() { signals.setHandler(nullptr); }
  } stopHandling{signals};  // before the loop goes, on every way out
  signals.setHandler([&loop, session, &signals] {
    const int signal = signals.received();
    loop.async([session, signal] { session->interrupted(signal); });
  });

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

    auto manager = VPNConnectionManager::shared();
    manager->setDelegate(session);
    center.addObserver(VPNServerManager::kServersLoaded, [manager, session](const auto&) {
      const auto servers = VPNServerManager::shared()->premiumVPNServersArray();
      say("servers loaded: " + std::to_string(servers.size()) + " premium, " +
          std::to_string(VPNServerManager::shared()->freeVPNServersArray().size()) + " free");
      for (const auto& server : servers) say("  " + describe(*server));
      // after the manager has restored or picked its server on the main queue
      platform::DispatchQueue::main().async([manager, session] {
        auto server = manager->currentServer();
        if (!server || !server->psk()) {
          for (const auto& candidate : VPNServerManager::shared()->premiumVPNServersArray())
            if (candidate->psk() && candidate->address()) {
              server = candidate;
              break;
            }
        }
        if (!server) return session->fail("no server to connect to");
        say("connecting to " + describe(*server));
        manager->connectToServer(server);
      });
    });
    center.addObserver(VPNServerManager::kFailedToLoadServers, [session, host = service.host()](const auto&) {
      platform::DispatchQueue::main().async(
          [session, host] { session->fail("the server list could not be loaded from the service at " + host); });
    });
    VPNServerManager::shared()->fetchServers();
  });
  loop.asyncAfter(kTimeLimitSeconds, [session] {
    session->fail("the session did not finish within " + std::to_string(static_cast<int>(kTimeLimitSeconds)) +
                  " seconds");
  });
  loop.run();
  say("install identifier " + QVServerConnect::neExtKey().value_or("(none)"));
  say(session->status() == 0 ? "session ended" : "session failed: " + session->failure());
  process.reset();
  if (session->status() != 0) std::fprintf(stderr, "orvane: %s\n", session->failure().c_str());
  return session->status();
}

}  // namespace

int main(int argc, char** argv) {
  std::string deviceDir = "orvane-device";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--device") {
      if (i + 1 >= argc) return usageError("--device needs a directory");
      deviceDir = argv[++i];
    } else {
      return usageError("unknown argument \"" + arg + "\"");
    }
  }
  SignalWatcher signals;
  try {
    return runSession(deviceDir, signals);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvane: %s\n", e.what());
    return 1;
  }
}
