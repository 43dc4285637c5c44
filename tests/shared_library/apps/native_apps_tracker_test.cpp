#include "shared_library/apps/native_apps_tracker.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/foundation/notification_center.h"
#include "platform/foundation/queues.h"
#include "platform/testing/user_notifications_testing.h"
#include "platform/testing/sandbox.h"
#include "platform/testing/ui_testing.h"
#include "platform/uikit/application.h"
#include "tests/shared_library/apps/apps_fixture.h"
#include "tests/shared_library/remote_values_fixture.h"
#include "tools/local_service.h"

namespace {

using nlohmann::json;
using orvane_service::LocalService;
using platform::testing::Sandbox;
using remote_values_testing::cacheConfiguration;
using Opt = std::optional<std::string>;
using Fields = std::tuple<Opt, Opt, Opt>;  // store identifier, bundle identifier, scheme

std::vector<Fields> fieldsOf(const NativeAppsList& list) {
  std::vector<Fields> out;
  for (const auto& r : list) out.emplace_back(r->storeID(), r->bundleID(), r->urlScheme());
  return out;
}

struct TrackerFixture : ::testing::Test {
  LocalService service;
  std::unique_ptr<Sandbox> sandbox;

  void launch(std::optional<std::string> ownBundleID = "com.orvane.vpn", std::vector<std::string> installed = {}) {
    auto options = apps_testing::optionsFor(service);
    options.profile.installedURLSchemes = std::move(installed);
    if (ownBundleID)
      options.bundle.info["CFBundleIdentifier"] = platform::PlistValue(*ownBundleID);
    else
      options.bundle.info.erase("CFBundleIdentifier");
    sandbox = std::make_unique<Sandbox>(std::move(options));
  }
  void settle() {
    auto tracker = NativeAppsTracker::shared();
    sandbox->loop().runUntil([&] { return tracker->operationQueue()->operationCount() == 0; });
    sandbox->loop().runUntilIdle();
  }
  std::size_t lookUps() const { return apps_testing::lookUpCount(service); }
  std::size_t succes() const {
    std::size_t n = 0;
    for (const auto& line : sandbox->consoleLines())
      if (line == "succes") ++n;
    return n;
  }
};

TEST_F(TrackerFixture, ListFromTheRemoteValue) {
  const Fields own{"1000000000", "com.orvane.vpn", "orvanevpn://"};
  const Fields notes{"1000000001", "com.orvane.notes", "orvanenotes://"};
  struct Case {
    const char* name;
    std::optional<json> value;  // none: the key is missing
    std::optional<std::string> ownBundleID;
    std::optional<std::vector<Fields>> list;
  };
  const std::vector<Case> cases = {
      {"key missing", std::nullopt, "com.orvane.vpn", std::nullopt},
      {"an object", json{{"aID", "1"}}, "com.orvane.vpn", std::nullopt},
      {"a text", "[]", "com.orvane.vpn", std::nullopt},
      {"empty array", json::array(), "com.orvane.vpn", std::vector<Fields>{}},
      {"elements that are not objects skipped",
       json::array({1, "x", json::array(), nullptr, {{"aID", "1000000001"}, {"bID", "com.orvane.notes"},
                                                    {"scheme", "orvanenotes://"}}}),
       "com.orvane.vpn", std::vector<Fields>{notes}},
      {"keys missing or not text",
       json::array({json::object(), {{"aID", 1000000001}, {"bID", true}, {"scheme", "s://"}, {"other", "x"}}}),
       "com.orvane.vpn", std::vector<Fields>{{Opt{}, Opt{}, Opt{}}, {Opt{}, Opt{}, "s://"}}},
      {"own entry filtered",
       json::array({{{"aID", "1000000000"}, {"bID", "com.orvane.vpn"}, {"scheme", "orvanevpn://"}},
                    {{"aID", "1000000001"}, {"bID", "com.orvane.notes"}, {"scheme", "orvanenotes://"}}}),
       "com.orvane.vpn", std::vector<Fields>{notes}},
      {"without an own identifier, entries without one go",
       json::array({{{"aID", "1000000000"}, {"bID", "com.orvane.vpn"}, {"scheme", "orvanevpn://"}},
                    {{"aID", "1000000009"}, {"scheme", "x://"}}}),
       std::nullopt, std::vector<Fields>{own}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sandbox.reset();
    launch(c.ownBundleID);
    json configuration = {{"u.f.e", "3"}};
    if (c.value) configuration["u.a.l"] = *c.value;
    cacheConfiguration(configuration);
    NativeAppsTracker::shared()->loadNativeApps();
    settle();
    const auto list = NativeAppsTracker::shared()->nativeAppsList();
    ASSERT_EQ(list.has_value(), c.list.has_value());
    if (list) {
      EXPECT_EQ(fieldsOf(*list), *c.list);
    }
  }
}

TEST_F(TrackerFixture, AnEmptyListAsksNothing) {
  launch();
  cacheConfiguration({{"u.a.l", json::array()}});
  NativeAppsTracker::shared()->loadNativeApps();
  settle();
  EXPECT_EQ(lookUps(), 0u);
  EXPECT_EQ(platform::testing::userNotifications().requestCount(), 0u);
  EXPECT_TRUE(platform::testing::badgeNumberHistory().empty());
}

TEST_F(TrackerFixture, LooksUpEachRecordThenAsksForPermissionAndSetsTheBadge) {
  launch("com.orvane.vpn", {"orvanenotes"});
  cacheConfiguration(service.configuration());
  NativeAppsTracker::shared()->loadNativeApps();
  settle();
  sandbox->loop().runUntil([&] { return succes() >= 1; });
  const auto list = NativeAppsTracker::shared()->nativeAppsList();
  ASSERT_TRUE(list);
  ASSERT_EQ(list->size(), 3u);
  EXPECT_EQ((*list)[0]->name(), "Orvane Notes");
  EXPECT_EQ((*list)[1]->name(), "Orvane Scan");
  EXPECT_DOUBLE_EQ((*list)[1]->rating(), 4.13);
  EXPECT_EQ((*list)[2]->artworkURL(), "https://store.orvane.example/artwork/weather/60.png");
  EXPECT_EQ(lookUps(), 3u);
  // every report that finds the queue empty asks again: one for each look-up that ended after
  // the others had left the queue
  const auto requests = platform::testing::userNotifications().requests();
  ASSERT_GE(requests.size(), 1u);
  EXPECT_LE(requests.size(), 3u);
  for (auto options : requests) EXPECT_EQ(options, 7u);
  sandbox->loop().runUntil([&] { return succes() == requests.size(); });
  EXPECT_EQ(succes(), requests.size());
  // set with each request: the scanner and the weather application are not installed
  EXPECT_EQ(platform::testing::badgeNumberHistory(), std::vector<long>(requests.size(), 2));
}

TEST_F(TrackerFixture, InstalledTestAsksThePlatformEachTime) {
  launch("com.orvane.vpn", {"orvanenotes"});
  struct Case {
    const char* name;
    std::optional<std::string> scheme;
    bool installed;
    bool asked;
  };
  const std::vector<Case> cases = {
      {"installed", "orvanenotes://", true, true},
      {"installed, other case", "OrvaneNotes://open", true, true},
      {"not installed", "orvanescan://", false, true},
      {"not a URL", "orvane notes://", false, false},
      {"no scheme", std::nullopt, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto before = platform::testing::canOpenURLQuestions().size();
    NativeAppData record("1", "b", c.scheme);  // creation tests once
    EXPECT_EQ(record.isInstalled(), c.installed);
    EXPECT_EQ(platform::testing::canOpenURLQuestions().size() - before, c.asked ? 2u : 0u);
  }
  // a scripted answer for the exact URL
  platform::testing::scriptCanOpenURL("orvanescan://", true);
  NativeAppData scan("1", "b", "orvanescan://");
  EXPECT_TRUE(scan.isInstalled());
}

TEST_F(TrackerFixture, CountsOfApplicationsNotInstalled) {
  launch("com.orvane.vpn", {"orvanenotes"});
  auto tracker = NativeAppsTracker::shared();
  EXPECT_EQ(tracker->remainingNotInstalledApps(), 0);  // no list
  EXPECT_FALSE(tracker->areAllAppsInstalled());

  tracker->setNativeAppsList(NativeAppsList{});
  EXPECT_EQ(tracker->remainingNotInstalledApps(), 0);
  EXPECT_FALSE(tracker->areAllAppsInstalled());  // empty

  tracker->setNativeAppsList(NativeAppsList{std::make_shared<NativeAppData>("1", "a", "orvanenotes://"),
                                            std::make_shared<NativeAppData>("2", "b", "orvanescan://")});
  EXPECT_EQ(tracker->remainingNotInstalledApps(), 1);
  EXPECT_FALSE(tracker->areAllAppsInstalled());

  // installed while the program runs: the next count sees it
  sandbox->device().updateProfile([](auto& p) { p.installedURLSchemes.push_back("orvanescan"); });
  EXPECT_EQ(tracker->remainingNotInstalledApps(), 0);
  EXPECT_TRUE(tracker->areAllAppsInstalled());
}

TEST_F(TrackerFixture, ThreeLookUpsAtATime) {
  launch();
  json apps = json::array();
  for (int i = 1; i <= 5; ++i) apps.push_back({{"aID", std::to_string(1000000000 + i)}, {"bID", "b" + std::to_string(i)}});
  cacheConfiguration({{"u.a.l", apps}});
  for (const char* id : {"1000000004", "1000000005"}) {
    platform::testing::LoopbackReply found;
    found.body = platform::toBytes(R"({"resultCount":1,"results":[{"trackName":"More"}]})");
    service.setLookupReply(id, found);
  }
  service.holdLookups(true);
  auto tracker = NativeAppsTracker::shared();
  tracker->loadNativeApps();
  auto held = [&](std::size_t n) {
    return sandbox->loop().runUntil([&] { return service.heldLookups() == n; }, platform::seconds(10),
                                    std::chrono::seconds(10));
  };
  ASSERT_TRUE(held(3));
  // (not pumped: the loop would wait for the held transfers)
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(lookUps(), 3u);  // the fourth waits for a slot
  EXPECT_EQ(tracker->operationQueue()->operationCount(), 5u);

  service.releaseLookups(1);
  ASSERT_TRUE(sandbox->loop().runUntil([&] { return lookUps() == 4; }, platform::seconds(10), std::chrono::seconds(10)));
  EXPECT_TRUE(held(3));
  EXPECT_EQ(tracker->operationQueue()->operationCount(), 4u);
  EXPECT_EQ(platform::testing::userNotifications().requestCount(), 0u);

  service.holdLookups(false);
  settle();
  sandbox->loop().runUntil([&] { return succes() >= 1; });
  EXPECT_EQ(lookUps(), 5u);
  EXPECT_GE(platform::testing::userNotifications().requestCount(), 1u);
}

TEST_F(TrackerFixture, RefreshLoadsTheListOnlyWhileThereIsNone) {
  launch();
  auto tracker = NativeAppsTracker::shared();
  auto postFromBackground = [&] {
    platform::DispatchQueue::global().async(
        [] { platform::NotificationCenter::defaultCenter().post("somenotifweneed"); });
    settle();
  };
  postFromBackground();  // nothing cached yet
  EXPECT_FALSE(tracker->nativeAppsList());

  cacheConfiguration({{"u.a.l", json::array({{{"aID", "1000000001"}, {"bID", "com.orvane.notes"}}})}});
  postFromBackground();
  ASSERT_TRUE(tracker->nativeAppsList());
  const auto first = (*tracker->nativeAppsList())[0];

  cacheConfiguration({{"u.a.l", json::array()}});
  postFromBackground();
  ASSERT_EQ(tracker->nativeAppsList()->size(), 1u);
  EXPECT_EQ((*tracker->nativeAppsList())[0], first);  // not rebuilt

  tracker->loadNativeApps();  // an explicit load does rebuild
  settle();
  EXPECT_TRUE(tracker->nativeAppsList()->empty());
}

TEST_F(TrackerFixture, ALoadFromAnotherThreadRebuildsOnTheMainQueue) {
  launch();
  cacheConfiguration({{"u.a.l", json::array({{{"bID", "x"}}})}});
  auto tracker = NativeAppsTracker::shared();
  platform::DispatchQueue::global().async([tracker] { tracker->loadNativeApps(); });
  settle();
  ASSERT_TRUE(tracker->nativeAppsList());
  EXPECT_EQ(tracker->nativeAppsList()->size(), 1u);
}

TEST_F(TrackerFixture, SharedIsMadeOnceAndReplaceable) {
  launch();
  auto first = NativeAppsTracker::shared();
  EXPECT_EQ(NativeAppsTracker::shared(), first);
  EXPECT_EQ(first->operationQueue()->maxConcurrentOperationCount(), 3);
  auto other = NativeAppsTracker::make();
  NativeAppsTracker::setShared(other);
  EXPECT_EQ(NativeAppsTracker::shared(), other);
}

}  // namespace
