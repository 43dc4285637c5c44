#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/home_page_view_controller.h"
#include "app/storyboard_classes.h"
#include "platform/testing/sandbox.h"
#include "platform/uikit/application.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/ui_records.h"
#include "tests/service_client/exchange_fixture.h"
#include "tools/local_service.h"
#include "vpn_core/server_list.h"

namespace app_testing {

// One server object of a list; an empty field is left out.
struct ServerSpec {
  std::string countryCode, country, city, address;
  std::string psk = "secret";
};

inline nlohmann::json serverObject(const ServerSpec& s) {
  nlohmann::json o = nlohmann::json::object();
  if (!s.countryCode.empty()) o["countryCode"] = s.countryCode;
  if (!s.country.empty()) o["country"] = s.country;
  if (!s.city.empty()) {
    o["city"] = s.city;
    o["title"] = s.city + " 1";
  }
  if (!s.address.empty()) o["address"] = s.address;
  if (!s.psk.empty()) o["credentials"] = {{"psk", {{"psk", s.psk}}}};
  return o;
}

// A payload whose premium list holds these servers, in order.
inline nlohmann::json premiumList(const std::vector<ServerSpec>& servers) {
  nlohmann::json list = nlohmann::json::array();
  for (const auto& s : servers) list.push_back(serverObject(s));
  return {{"freeServers", nlohmann::json::array()},
          {"premiumServers", {{"countries", {{{"cities", {{{"servers", list}}}}}}}}}};
}

inline const std::vector<ServerSpec>& threeServers() {
  static const std::vector<ServerSpec> servers{{"US", "United States", "New York", "us-1.test"},
                                               {"DE", "Germany", "Frankfurt", "de-1.test"},
                                               {"JP", "Japan", "Tokyo", "jp-1.test"}};
  return servers;
}

inline platform::testing::Sandbox::Options withResources(platform::testing::Sandbox::Options options) {
  options.bundle.resourcePath = ORVANE_RESOURCES_DIR;
  return options;
}

inline std::vector<platform::detail::UIRecords::Timed> haptics() {
  return platform::detail::UIRecords::current().with([](auto& r) { return r.haptics; });
}
inline std::vector<platform::detail::UIRecords::Timed> reviewRequests() {
  return platform::detail::UIRecords::current().with([](auto& r) { return r.reviewRequests; });
}

// A key window showing `root`.
inline std::shared_ptr<platform::UIWindow> showInWindow(std::shared_ptr<platform::UIViewController> root) {
  auto window = std::make_shared<platform::UIWindow>(platform::UIScreen::mainScreen().bounds());
  window->setRootViewController(std::move(root));
  window->makeKeyAndVisible();
  return window;
}

// The application's main bundle on a fresh device, pointed at a local service.
class ServiceScreenTest : public ::testing::Test {
 public:
  explicit ServiceScreenTest(platform::DeviceProfile profile = {})
      : sandbox(withResources(service_testing::optionsFor(service.host(), service.certificateFile(), profile))) {
    registerStoryboardClasses();
    service.setServerList(premiumList(threeServers()));
  }

  platform::RunLoop& loop() { return sandbox.loop(); }
  double now() { return platform::toSeconds(sandbox.clock().now()); }
  std::vector<std::string> console() { return sandbox.process().consoleLines(); }
  size_t serverListCalls() {
    size_t n = 0;
    for (const auto& e : service.exchanges())
      if (e.parameters && (*e.parameters)["c1"] == "sl") ++n;
    return n;
  }

  orvane_service::LocalService service;
  platform::testing::Sandbox sandbox;
};

// The home screen as the storyboard makes it, in a key window.
class HomeScreenTest : public ServiceScreenTest {
 public:
  using ServiceScreenTest::ServiceScreenTest;
  ~HomeScreenTest() override { window.reset(); }

  void launch() {
    home = std::dynamic_pointer_cast<HomePageViewController>(
        platform::UIStoryboard::storyboardWithName("Main")->instantiateInitialViewController());
    ASSERT_TRUE(home);
    window = showInWindow(home);
  }
  // Until the list has arrived and the cover is gone.
  void launchAndWaitForList() {
    launch();
    ASSERT_TRUE(loop().runUntil([&] { return home->loadingIndicatorView.lock()->isHidden(); }));
    loop().runUntilIdle();
  }

  std::shared_ptr<HomePageViewController> home;
  std::shared_ptr<platform::UIWindow> window;
};

}  // namespace app_testing
