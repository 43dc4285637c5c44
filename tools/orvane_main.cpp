// The headless application session: starts the local stand-in of the maker's service, launches
// the application on a device directory pointed at it, and shows what the service exchange
// brings back.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "platform/foundation/bundle.h"
#include "platform/foundation/console.h"
#include "platform/foundation/device.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"
#include "service_client/exchange_key.h"
#include "service_client/service_exchange.h"
#include "service_client/string_cipher.h"
#include "tools/local_service.h"
#include "vpn_core/server_list.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: orvane [--device DIR]\n");
  return 2;
}

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

std::string describe(const std::optional<nlohmann::json>& result, const std::optional<platform::Error>& error) {
  if (error) return "error " + error->domain + " " + std::to_string(error->code) + " " + error->localizedDescription;
  return result ? result->dump() : "no result";
}

std::string describe(const VPNServer& server) {
  std::string load = server.loadPercent() ? std::to_string(static_cast<int>(*server.loadPercent())) + "%" : "?";
  return server.title().value_or("(untitled)") + " - " + server.city().value_or("?") + ", " +
         server.country().value_or("?") + " - " + server.address().value_or("(no address)") + " - load " + load;
}

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
    std::atomic<int> pending{2};
    auto finishOne = [&] {
      if (--pending == 0) platform::DispatchQueue::main().async([&] { loop.stop(); });
    };

    loop.async([&] {
      platform::console("OrvaneVPN: started on device " + device->root().string() + ", service " + service.host());
      auto& center = platform::NotificationCenter::defaultCenter();
      center.addObserver(VPNServerManager::kServersLoaded, [&](const auto&) {
        const auto servers = VPNServerManager::shared()->premiumVPNServersArray();
        platform::console("OrvaneVPN: servers loaded: " + std::to_string(servers.size()) + " premium, " +
                          std::to_string(VPNServerManager::shared()->freeVPNServersArray().size()) + " free");
        for (const auto& server : servers) platform::console("OrvaneVPN:   " + describe(*server));
        finishOne();
      });
      center.addObserver(VPNServerManager::kFailedToLoadServers, [&](const auto&) {
        platform::console("OrvaneVPN: failed to load servers");
        finishOne();
      });
      VPNServerManager::shared()->fetchServers();
      QVServerConnect::qv_callNow("new", std::nullopt, [&](auto result, auto error) {
        platform::console("OrvaneVPN: new -> " + describe(result, error));
        if (result && result->is_string()) {
          const auto plain = QVExtStore::qv_remove(result->template get<std::string>(), QVServerConnect::exchangeKey());
          platform::console("OrvaneVPN: remote configuration " + plain.value_or("(not UTF-8)"));
        }
        finishOne();
      });
    });
    loop.asyncAfter(30.0, [&] {
      platform::console("OrvaneVPN: the service did not answer in time");
      loop.stop();
    });
    loop.run();
    platform::console("OrvaneVPN: install identifier " + QVServerConnect::neExtKey().value_or("(none)"));
    platform::console("OrvaneVPN: session ended");
    process.reset();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvane: %s\n", e.what());
    return 1;
  }
  return 0;
}
