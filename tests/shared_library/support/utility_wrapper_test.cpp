#include "shared_library/support/utility_wrapper.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/notification_center.h"
#include "platform/testing/sandbox.h"
#include "service_client/remote_config.h"
#include "service_client/service_exchange.h"
#include "service_client/string_cipher.h"
#include "shared_library/support/contact_type.h"
#include "shared_library/support/lks_constants.h"
#include "tests/service_client/exchange_fixture.h"
#include "tests/shared_library/remote_values_fixture.h"
#include "tools/local_service.h"

namespace {

using nlohmann::json;
using orvane_service::LocalService;
using platform::testing::Sandbox;
using remote_values_testing::cacheConfiguration;
using remote_values_testing::cachePayload;

TEST(RemoteValues, ValueAndAvailabilityByKind) {
  Sandbox sandbox;
  struct Case {
    const char* name;
    json value;
    bool available;
  };
  const std::vector<Case> cases = {
      {"number 2", 2, true},
      {"number 0", 0, false},
      {"negative number", -1, true},
      {"fraction", 0.5, true},
      {"real zero", 0.0, false},
      {"large unsigned", json(18446744073709551615ull), true},
      {"Boolean true", true, true},
      {"Boolean false", false, false},
      {"text true", "true", true},
      {"text Yes", "Yes", true},
      {"text y", "y", true},
      {"text T", "T", true},
      {"text 1", "1", true},
      {"space, plus and 007", " +007", true},
      {"C white space before zeros", "\t\n\v\f\r 0t", true},
      {"text no", "no", false},
      {"text 0", "0", false},
      {"empty text", "", false},
      {"text -3", "-3", true},
      {"0Y", "0Y", true},
      {"0x1", "0x1", false},
      {"00", "00", false},
      {"two signs", "+-1", false},
      {"sign only", "-", false},
      {"text false", "false", false},
      {"non-breaking space first",
       "\xc2\xa0"
       "1",
       false},
      {"array", json::array({1}), false},
      {"object", json{{"a", 1}}, false},
      {"null", nullptr, false},
  };
  json configuration = json::object();
  for (size_t i = 0; i < cases.size(); ++i) configuration["k" + std::to_string(i)] = cases[i].value;
  cacheConfiguration(configuration);
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string key = "k" + std::to_string(i);
    EXPECT_EQ(UtilityWrapper::valueForEventKey(key), cases[i].value) << cases[i].name;
    EXPECT_EQ(UtilityWrapper::isValueAvailableForEventKey(key), cases[i].available) << cases[i].name;
  }
}

TEST(RemoteValues, NothingForAMissingKeyOrAnUnusableCache) {
  const std::string configuration = json{{"k", "Yes"}}.dump();
  // the exchange key comes from the running process's bundle
  const auto enciphered = [](const std::string& text) {
    return QVExtStore::qv_add(text, QVServerConnect::exchangeKey());
  };
  struct Case {
    const char* name;
    std::function<std::optional<std::string>()> payload;  // none: nothing cached
    std::optional<std::string> key = "k";
  };
  const std::vector<Case> cases = {
      {"no cache", [] { return std::nullopt; }},
      {"missing key", [&] { return enciphered(configuration); }, "other"},
      {"no key", [&] { return enciphered(configuration); }, std::nullopt},
      {"not enciphered", [&] { return configuration; }},
      {"corrupt", [] { return "not a payload at all"; }},
      {"another cipher key", [&] { return QVExtStore::qv_add(configuration, std::string(32, 'x')); }},
      {"not an object", [&] { return enciphered("[\"Yes\"]"); }},
  };
  for (const auto& c : cases) {
    Sandbox sandbox;
    if (const auto payload = c.payload()) cachePayload(*payload);
    EXPECT_EQ(UtilityWrapper::valueForEventKey(c.key), std::nullopt) << c.name;
    EXPECT_FALSE(UtilityWrapper::isValueAvailableForEventKey(c.key)) << c.name;
  }
}

TEST(RemoteValues, EveryLookUpSeesTheCurrentCache) {
  Sandbox sandbox;
  cacheConfiguration({{"k", 1}});
  EXPECT_TRUE(UtilityWrapper::isValueAvailableForEventKey("k"));
  cacheConfiguration({{"k", 0}});
  EXPECT_EQ(UtilityWrapper::valueForEventKey("k"), json(0));
  EXPECT_FALSE(UtilityWrapper::isValueAvailableForEventKey("k"));
}

// The first run has nothing until its first refresh; the next run answers from the cache file
// before any refresh, even with the service down.
TEST(RemoteValues, FirstRunWaitsForTheRefreshLaterRunsAnswerFromTheCache) {
  LocalService service;
  service.setConfiguration({{"u.f.e", "3"}});
  Sandbox sandbox(service_testing::optionsFor(service.host(), service.certificateFile()));
  std::atomic<int> announced{0};
  platform::NotificationCenter::defaultCenter().addObserver(UtilityWrapper::updateEventsNotificationName(),
                                                            [&](const platform::Notification&) { ++announced; });
  EXPECT_EQ(UtilityWrapper::valueForEventKey("u.f.e"), std::nullopt);
  QVCtrl::oneInst();
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(announced.load(), 1);
  EXPECT_EQ(UtilityWrapper::valueForEventKey("u.f.e"), json("3"));

  sandbox.relaunch();
  service.setMode("new", LocalService::Mode::resetConnection);
  EXPECT_EQ(UtilityWrapper::valueForEventKey("u.f.e"), json("3"));
  EXPECT_TRUE(UtilityWrapper::isValueAvailableForEventKey("u.f.e"));
}

TEST(RemoteValues, LookUpsFromSeveralThreads) {
  Sandbox sandbox;
  cacheConfiguration({{"k", "Yes"}});
  std::atomic<int> wrong{0};
  for (int t = 0; t < 3; ++t)
    platform::DispatchQueue::global().async([&] {
      for (int i = 0; i < 100; ++i)
        if (!UtilityWrapper::isValueAvailableForEventKey("k")) ++wrong;
    });
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(wrong.load(), 0);
}

TEST(RemoteValues, CipherRoundTripAndFailures) {
  const std::string key(32, 'k');
  const std::string encoded = UtilityWrapper::encodeString("hello", key);
  EXPECT_EQ(encoded, QVExtStore::qv_add("hello", key));
  EXPECT_EQ(UtilityWrapper::decodeString(encoded, key), "hello");
  EXPECT_EQ(UtilityWrapper::decodeString(encoded, std::string(32, 'x')), "");
  EXPECT_EQ(UtilityWrapper::decodeString(UtilityWrapper::encodeString(std::string("\xff"), key), key), std::nullopt);
}

TEST(SharedConstants, NotificationNamesAndContactKinds) {
  EXPECT_EQ(UtilityWrapper::updateEventsNotificationName(), "somenotifweneed");
  EXPECT_EQ(UtilityWrapper::updateEventsNotificationName(), UtilityWrapper::updateEventsNotificationName());
  EXPECT_EQ(std::string(LKSConstants::progressCompleted), "PROGRESS_COMPLETED");

  const ContactType kinds[] = {ContactType::reportError, ContactType::newFeature, ContactType::contactUs};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(static_cast<int>(kinds[i]), i);
    for (int j = 0; j < 3; ++j) EXPECT_EQ(kinds[i] == kinds[j], i == j);
  }
  EXPECT_NE(std::hash<ContactType>{}(ContactType::reportError), std::hash<ContactType>{}(ContactType::contactUs));
}

}  // namespace
