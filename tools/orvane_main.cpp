// The headless application session: starts the local stand-in of the maker's service, launches
// the application on a device directory pointed at it, and walks one session through: the
// remote configuration, the server list, a connect up to "connected", and a disconnect.
#include <atomic>
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
#include "service_client/exchange_key.h"
#include "service_client/remote_config.h"
#include "service_client/service_exchange.h"
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

// Shows each status change; once connected, disconnects; once disconnected again, ends the run.
class Session : public VPNConnectionManagerDelegate {
 public:
  explicit Session(platform::RunLoop& loop) : loop_(loop) {}

  void vpnConnectionStateChanged() override {
    const auto manager = VPNConnectionManager::shared();
    const auto status = manager->vpnConnectionState();
    say(std::string("tunnel ") + statusName(status));
    if (status == NEVPNStatus::connected && !wasConnected_.exchange(true)) {
      platform::DispatchQueue::main().async([manager] {
        say("disconnecting");
        manager->withdrawPendingAttempts();
        manager->vpnManager()->connection()->stopVPNTunnel();
      });
    } else if (status == NEVPNStatus::disconnected && wasConnected_) {
      platform::DispatchQueue::main().async([this] { loop_.stop(); });
    }
  }

 private:
  platform::RunLoop& loop_;
  std::atomic<bool> wasConnected_{false};
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
    auto session = std::make_shared<Session>(loop);

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
      center.addObserver(VPNServerManager::kServersLoaded, [manager](const auto&) {
        const auto servers = VPNServerManager::shared()->premiumVPNServersArray();
        say("servers loaded: " + std::to_string(servers.size()) + " premium, " +
            std::to_string(VPNServerManager::shared()->freeVPNServersArray().size()) + " free");
        for (const auto& server : servers) say("  " + describe(*server));
        // after the manager has restored or picked its server on the main queue
        platform::DispatchQueue::main().async([manager] {
          auto server = manager->currentServer();
          if (!server || !server->psk()) {
            for (const auto& candidate : VPNServerManager::shared()->premiumVPNServersArray())
              if (candidate->psk() && candidate->address()) {
                server = candidate;
                break;
              }
          }
          if (!server) {
            say("no server to connect to");
            return;
          }
          say("connecting to " + describe(*server));
          manager->connectToServer(server);
        });
      });
      center.addObserver(VPNServerManager::kFailedToLoadServers, [&loop](const auto&) {
        say("failed to load servers");
        platform::DispatchQueue::main().async([&loop] { loop.stop(); });
      });
      VPNServerManager::shared()->fetchServers();
    });
    loop.asyncAfter(30.0, [&] {
      say("the session did not finish in time");
      loop.stop();
    });
    loop.run();
    say("install identifier " + QVServerConnect::neExtKey().value_or("(none)"));
    say("session ended");
    process.reset();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvane: %s\n", e.what());
    return 1;
  }
  return 0;
}
