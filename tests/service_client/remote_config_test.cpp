#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/notification_center.h"
#include "platform/testing/loopback_server.h"
#include "service_client/remote_config.h"
#include "service_client/string_cipher.h"
#include "tests/service_client/exchange_fixture.h"
#include "tools/local_service.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using orvane_service::LocalService;
using platform::Date;
using platform::testing::LoopbackReply;
using platform::testing::LoopbackRequest;
using platform::testing::LoopbackServer;
using platform::testing::Sandbox;
using std::chrono::seconds;

const std::string kKey = "com.orvane.vpn~~~~~~~~~~~~~~~~~~";

// The payload as the service sends it: the configuration's JSON, enciphered, as Base64 text.
std::string payloadOf(const json& configuration) { return QVExtStore::qv_add(configuration.dump(), kKey); }

fs::path cachePath(Sandbox& sandbox) { return sandbox.device().temporaryDirectory() / "keys"; }

// The content of a regular file, or none for anything else.
std::optional<std::string> regularFileText(const fs::path& path) {
  if (!fs::is_regular_file(fs::symlink_status(path))) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Posts of the update notification in this process; every one must come from a background queue.
size_t updatePosts() {
  size_t count = 0;
  for (const auto& post : platform::testing::recorder().posts()) {
    if (post.name != "somenotifweneed") continue;
    EXPECT_FALSE(post.onMainThread);
    ++count;
  }
  return count;
}

// The controller's schedule against the local service, on the virtual clock.
class RefreshSchedule : public ::testing::Test {
 protected:
  size_t fetches() const {
    const auto all = service.exchanges();
    return static_cast<size_t>(std::count_if(all.begin(), all.end(), [](const auto& e) {
      return e.parameters && e.parameters->value("c1", "") == "new";
    }));
  }
  // Seconds since launch on the wall clock, as the controller dates its fetches.
  Date wallAt(double s) const { return launchWall + platform::seconds(s); }
  std::shared_ptr<QVCtrl> launchController() {
    auto ctrl = QVCtrl::oneInst();
    sandbox.loop().runUntilIdle();
    return ctrl;
  }

  LocalService service;
  Sandbox sandbox{service_testing::optionsFor(service.host(), service.certificateFile())};
  const Date launchWall = sandbox.clock().wallNow();
};

TEST_F(RefreshSchedule, FetchesAtLaunchThenAtTheFirstTickMoreThan120SecondsLater) {
  service.setConfiguration({{"u.f.e", "5"}});
  auto ctrl = QVCtrl::oneInst();
  EXPECT_EQ(fetches(), 0u);  // the first tick is queued, not run by the creation
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(fetches(), 1u);
  EXPECT_FALSE(ctrl->qv_isReady());
  EXPECT_EQ(ctrl->qv_frequency(), 0);
  EXPECT_EQ(ctrl->qv_nextAlertDate(), wallAt(0));
  EXPECT_EQ(QVServerConnect::hasResponse("u.f.e"), json("5"));
  EXPECT_EQ(updatePosts(), 1u);

  sandbox.loop().runFor(120.0);
  EXPECT_EQ(fetches(), 1u) << "exactly 120.0 s after a success is not yet due";
  service.setConfiguration({{"u.f.e", "7"}});
  sandbox.loop().runFor(5.0);
  EXPECT_EQ(fetches(), 2u);
  EXPECT_EQ(ctrl->qv_nextAlertDate(), wallAt(125));
  EXPECT_EQ(QVServerConnect::hasResponse("u.f.e"), json("7"));
  EXPECT_EQ(updatePosts(), 2u);

  sandbox.loop().runFor(125.0);
  EXPECT_EQ(fetches(), 3u);
  EXPECT_EQ(ctrl->qv_refreshAll()->timeInterval(), 5.0);
  EXPECT_EQ(QVCtrl::oneInst(), ctrl);
}

TEST_F(RefreshSchedule, TwoFailuresThenASuccessNeedNoPause) {
  service.setMode("new", LocalService::Mode::resetConnection);
  auto ctrl = launchController();
  EXPECT_EQ(ctrl->qv_frequency(), 1);
  sandbox.loop().runFor(5.0);
  EXPECT_EQ(ctrl->qv_frequency(), 2);
  EXPECT_EQ(ctrl->qv_nextAlertDate(), std::nullopt);
  EXPECT_EQ(updatePosts(), 0u);

  service.setMode("new", LocalService::Mode::answer);
  sandbox.loop().runFor(5.0);
  EXPECT_EQ(fetches(), 3u);
  EXPECT_EQ(ctrl->qv_frequency(), 0);
  EXPECT_EQ(ctrl->qv_nextAlertDate(), wallAt(10));
  EXPECT_EQ(updatePosts(), 1u);
}

TEST_F(RefreshSchedule, ThreeFailuresPauseFor120SecondsThenTryAgain) {
  service.setMode("new", LocalService::Mode::notJSON);
  auto ctrl = launchController();
  sandbox.loop().runFor(10.0);
  EXPECT_EQ(fetches(), 3u);
  EXPECT_EQ(ctrl->qv_frequency(), 0);
  EXPECT_EQ(ctrl->qv_nextAlertDate(), wallAt(10));

  sandbox.loop().runFor(120.0);
  EXPECT_EQ(fetches(), 3u);
  sandbox.loop().runFor(5.0);
  EXPECT_EQ(fetches(), 4u);
  EXPECT_EQ(ctrl->qv_frequency(), 1);
  EXPECT_EQ(ctrl->qv_nextAlertDate(), wallAt(10));  // a failure alone does not date anything
  EXPECT_EQ(updatePosts(), 0u);
  EXPECT_EQ(QVServerConnect::hasResponse("u.f.e"), std::nullopt);
}

TEST_F(RefreshSchedule, OnlyTheDistanceToTheLastSuccessCountsNotItsDirection) {
  auto ctrl = launchController();
  auto& clock = sandbox.clock();
  struct Step {
    const char* name;
    double wallShift;  // seconds the wall clock jumps before the next tick
    size_t fetchesAfterTick;
  };
  const std::vector<Step> steps = {
      {"set back a little: still within 120 s", -100, 1},
      {"set back far: the last success lies in the future", -1000, 2},
      {"set forward far", +1000, 3},
  };
  for (const auto& s : steps) {
    clock.setWallTime(clock.wallNow() + platform::seconds(s.wallShift));
    sandbox.loop().runFor(5.0);
    EXPECT_EQ(fetches(), s.fetchesAfterTick) << s.name;
  }
  EXPECT_EQ(ctrl->qv_frequency(), 0);
}

TEST_F(RefreshSchedule, TimerRunsOnTheMainLoopWhenFirstAskedForElsewhere) {
  platform::DispatchQueue::global().async([] { QVCtrl::oneInst(); });
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(fetches(), 1u);
  const auto timer = QVCtrl::oneInst()->qv_refreshAll();
  sandbox.loop().runFor(125.0);
  EXPECT_EQ(timer->fireCount(), 26u);  // the first tick and 25 scheduled ones, all run by the main loop
  EXPECT_EQ(fetches(), 2u);
}

TEST_F(RefreshSchedule, LaterRunAnswersFromTheFileWhileTheServiceIsDown) {
  const json configuration = {{"u.f.e", "5"}, {"u.a.l", json::array({{{"aID", "1"}}})}};
  service.setConfiguration(configuration);
  launchController();
  EXPECT_EQ(regularFileText(cachePath(sandbox)), payloadOf(configuration));  // exactly the Base64 text

  sandbox.relaunch();
  service.setMode("new", LocalService::Mode::resetConnection);
  EXPECT_EQ(QVServerConnect::hasResponse("u.f.e"), json("5"));
  auto ctrl = launchController();
  EXPECT_EQ(fetches(), 2u);
  EXPECT_EQ(ctrl->qv_frequency(), 1);
  EXPECT_EQ(QVServerConnect::hasResponse("u.a.l"), configuration["u.a.l"]);
  EXPECT_EQ(regularFileText(cachePath(sandbox)), payloadOf(configuration));
  EXPECT_EQ(updatePosts(), 0u);
}

// What the exchange takes in, the next run reads back: a payload of several megabytes too.
TEST_F(RefreshSchedule, ALargeConfigurationIsReadBackByTheNextRun) {
  const json configuration = {{"u.f.e", "5"}, {"filler", std::string(6 << 20, 'f')}};
  service.setConfiguration(configuration);
  launchController();
  const auto cached = regularFileText(cachePath(sandbox));
  ASSERT_TRUE(cached);
  ASSERT_GT(cached->size(), 4u << 20);

  sandbox.relaunch();
  service.setMode("new", LocalService::Mode::resetConnection);
  EXPECT_EQ(QVServerConnect::hasResponse("u.f.e"), json("5"));
}

TEST_F(RefreshSchedule, ControllerEndsWithItsProcessEvenWithAFetchInFlight) {
  service.setConfiguration({{"u.f.e", "9"}});
  service.setReplyDelay("new", std::chrono::seconds(30));  // in flight for sure when the process ends
  std::weak_ptr<QVCtrl> first = QVCtrl::oneInst();
  ASSERT_TRUE(sandbox.loop().runUntil([&] {
    const auto ctrl = first.lock();
    return ctrl && ctrl->qv_isReady() && fetches() == 1;
  }));
  service.setReplyDelay("new", std::chrono::milliseconds(0));
  const auto ending = std::chrono::steady_clock::now();
  sandbox.relaunch();  // the fetch is abandoned, not waited for, and the controller goes
  EXPECT_LT(std::chrono::steady_clock::now() - ending, std::chrono::seconds(5));
  EXPECT_TRUE(first.expired());
  EXPECT_EQ(QVServerConnect::hasResponse("u.f.e"), std::nullopt);  // the abandoned reply stored nothing

  auto second = QVCtrl::oneInst();
  EXPECT_EQ(second->qv_nextAlertDate(), std::nullopt);
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(fetches(), 2u);
}

// Against a scripted service: what each kind of reply does to the counter, the date, the
// notification and the cache.
class FetchOutcomes : public ::testing::Test {
 protected:
  FetchOutcomes() {
    server.on("POST", "/data/server/", [this](const LoopbackRequest&) {
      std::unique_lock lock(mutex);
      // bounded, so a failing test cannot hang
      released.wait_for(lock, std::chrono::seconds(30), [this] { return !holding; });
      return reply;
    });
  }
  ~FetchOutcomes() override { release(); }

  void answer(const std::string& body, LoopbackReply::Delivery delivery = LoopbackReply::Delivery::complete) {
    std::lock_guard lock(mutex);
    reply = LoopbackReply{};
    reply.body = platform::toBytes(body);
    reply.delivery = delivery;
  }
  void hold() {
    std::lock_guard lock(mutex);
    holding = true;
  }
  void release() {
    {
      std::lock_guard lock(mutex);
      holding = false;
    }
    released.notify_all();
  }
  Sandbox::Options options() const {
    return service_testing::optionsFor("127.0.0.1:" + std::to_string(server.port()), server.certificateFile());
  }

  LoopbackServer server;
  std::mutex mutex;
  std::condition_variable released;
  bool holding = false;
  LoopbackReply reply;
};

TEST_F(FetchOutcomes, FailureTable) {
  const json before = {{"k", "old"}};
  const json after = {{"k", "new"}};
  struct Case {
    std::string name, body;
    LoopbackReply::Delivery delivery = LoopbackReply::Delivery::complete;
    bool success = false;
    std::optional<json> extsList;     // none: as the first fetch left it
    std::optional<std::string> file;  // after the fetch; it was removed before
    std::optional<json> lookup;       // hasResponse("k") after the fetch
  };
  const std::vector<Case> cases = {
      {"transfer error", std::string(64, 'x'), LoopbackReply::Delivery::resetMidBody, false, {}, {}, json("old")},
      {"body not JSON", "<html>", {}, false, {}, {}, json("old")},
      {"body not UTF-8", "{\"rp\":\"\xff\"}", {}, false, {}, {}, json("old")},
      {"body not an object", "[1]", {}, false, {}, {}, json("old")},
      {"no rp", R"({"in":"A"})", {}, true, {}, {}, json("old")},
      {"rp a number", R"({"rp":5})", {}, false, {}, {}, json("old")},
      {"rp null", R"({"rp":null})", {}, false, {}, {}, json("old")},
      {"rp an object", R"({"rp":{"k":"new"}})", {}, false, {}, {}, json("old")},
      {"rp a new payload", json{{"rp", payloadOf(after)}}.dump(), {}, true, json(payloadOf(after)),
       payloadOf(after), json("new")},
      {"rp a text that is no payload", R"({"rp":"garbage"})", {}, true, json("garbage"), "garbage", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox(options());
    const Date launchWall = sandbox.clock().wallNow();
    answer(json{{"rp", payloadOf(before)}}.dump());
    auto ctrl = QVCtrl::oneInst();
    sandbox.loop().runUntilIdle();
    ASSERT_EQ(QVServerConnect::hasResponse("k"), json("old"));
    fs::remove(cachePath(sandbox));  // shows whether the fetch writes the file

    answer(c.body, c.delivery);
    const auto requests = server.requestCount();
    sandbox.loop().runFor(125.0);
    ASSERT_EQ(server.requestCount(), requests + 1);
    EXPECT_EQ(ctrl->qv_frequency(), c.success ? 0 : 1);
    EXPECT_EQ(ctrl->qv_nextAlertDate(), launchWall + seconds(c.success ? 125 : 0));
    EXPECT_EQ(updatePosts(), c.success ? 2u : 1u);
    EXPECT_EQ(QVServerConnect::oneInst()->extsList(), c.extsList.value_or(json(payloadOf(before))));
    EXPECT_EQ(regularFileText(cachePath(sandbox)), c.file);
    EXPECT_EQ(QVServerConnect::hasResponse("k"), c.lookup);
  }

  // a result that is no text, with none ever stored, is a failure and writes nothing
  Sandbox sandbox(options());
  answer(R"({"rp":5})");
  QVServerConnect::oneInst();
  auto ctrl = QVCtrl::oneInst();
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(ctrl->qv_frequency(), 1);
  EXPECT_EQ(updatePosts(), 0u);
  EXPECT_FALSE(fs::exists(fs::symlink_status(cachePath(sandbox))));
  EXPECT_EQ(QVServerConnect::hasResponse("k"), std::nullopt);
}

TEST_F(FetchOutcomes, TickWhileInFlightNeitherFetchesNorQueuesOne) {
  Sandbox sandbox(options());
  answer("<html>");  // a failure: only the in-flight flag keeps the next tick from fetching
  hold();
  auto ctrl = QVCtrl::oneInst();
  ASSERT_TRUE(sandbox.loop().runUntil([&] { return ctrl->qv_isReady(); }));
  ASSERT_TRUE(server.waitForRequests(1, std::chrono::seconds(30)));
  ctrl->qv_refreshStatus();
  ctrl->qv_refreshAll()->fire();
  release();
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(server.requestCount(), 1u);
  EXPECT_FALSE(ctrl->qv_isReady());
  EXPECT_EQ(ctrl->qv_frequency(), 1);

  sandbox.loop().runFor(5.0);
  EXPECT_EQ(server.requestCount(), 2u);
}

TEST_F(FetchOutcomes, CompletionGetsTheErrorOnTheTransferQueue) {
  Sandbox sandbox(options());
  struct Seen {
    std::optional<platform::Error> error;
    bool onMain = true;
    int calls = 0;
  };
  auto fetch = [&] {
    auto seen = std::make_shared<Seen>();
    QVServerConnect::qv_createServer([seen](std::optional<platform::Error> error) {
      seen->error = std::move(error);
      seen->onMain = platform::isMainThread();
      ++seen->calls;
    });
    sandbox.loop().runUntilIdle();
    return *seen;
  };
  answer("<html>");
  auto failed = fetch();
  EXPECT_EQ(failed.calls, 1);
  EXPECT_FALSE(failed.onMain);
  ASSERT_TRUE(failed.error);
  EXPECT_EQ(failed.error->domain, "NSCocoaErrorDomain");

  answer(json{{"rp", payloadOf({{"k", 1}})}}.dump());
  auto succeeded = fetch();
  EXPECT_EQ(succeeded.calls, 1);
  EXPECT_EQ(succeeded.error, std::nullopt);
  EXPECT_EQ(QVServerConnect::hasResponse("k"), json(1));
  EXPECT_EQ(updatePosts(), 0u);  // the notification is the controller's, not the fetch's
}

// Look-ups read the stored payload as it is; whatever is wrong with it, none.
TEST(RemoteConfigLookUp, AnswersTable) {
  Sandbox sandbox;
  auto& cache = QVServerConnect::oneInst()->resources1();
  const json configuration = {{"a", 1}, {"n", nullptr}, {"o", {{"x", json::array({1})}}}};
  std::string damaged = payloadOf(configuration);
  damaged.insert(damaged.size() / 2, "\xff");
  struct Case {
    std::string name;
    std::optional<std::string> stored;
    std::vector<std::pair<std::optional<std::string>, std::optional<json>>> lookups;
  };
  const std::vector<Case> cases = {
      {"nothing stored", std::nullopt, {{"a", std::nullopt}}},
      {"an object",
       payloadOf(configuration),
       {{"a", json(1)},
        {"n", json(nullptr)},  // JSON null is a value
        {"o", configuration["o"]},
        {"missing", std::nullopt},
        {std::nullopt, std::nullopt},
        {"", std::nullopt}}},
      {"an array", payloadOf(json::array({1, 2})), {{"0", std::nullopt}, {"a", std::nullopt}}},
      {"a number", payloadOf(json(5)), {{"a", std::nullopt}}},
      {"a text", payloadOf(json("a")), {{"a", std::nullopt}}},
      {"not enciphered", configuration.dump(), {{"a", std::nullopt}}},
      {"another key", QVExtStore::qv_add(configuration.dump(), std::string(32, 'x')), {{"a", std::nullopt}}},
      {"deciphers to no UTF-8", QVExtStore::qv_add(std::string("\xff\xfe"), kKey), {{"a", std::nullopt}}},
      {"stored bytes not UTF-8", damaged, {{"a", std::nullopt}}},
      {"empty", "", {{"a", std::nullopt}}},
  };
  for (const auto& c : cases) {
    if (c.stored) cache.qv_extend(platform::toBytes(*c.stored));
    for (const auto& [name, expected] : c.lookups)
      EXPECT_EQ(QVServerConnect::hasResponse(name), expected) << c.name << " / " << name.value_or("(none)");
  }
}

// Each payload is read once; whatever replaces it, even the same bytes again, is read anew.
TEST(RemoteConfigLookUp, AnswersFollowEveryReplacementOfThePayload) {
  Sandbox sandbox;
  auto& cache = QVServerConnect::oneInst()->resources1();
  const std::string one = payloadOf({{"v", 1}});
  const std::string two = payloadOf({{"v", 2}});
  const std::vector<std::pair<std::function<void()>, std::optional<json>>> steps = {
      {[&] { cache.qv_extend(platform::toBytes(one)); }, json(1)},
      {[] {}, json(1)},
      {[&] { cache.qv_extend(platform::toBytes(two)); }, json(2)},
      {[&] { cache.qv_extend(platform::toBytes(one)); }, json(1)},
      {[&] { cache.qv_extend(platform::toBytes("")); }, std::nullopt},
      {[&] { cache.qv_extend(std::optional<json>(one)); }, json(1)},
      {[&] { cache.qv_extend(std::optional<json>(7)); }, json(1)},  // ignored: the reading stands
      {[&] {
         writeText(cachePath(sandbox), two);
         cache.qv_count();
       },
       json(2)},
  };
  for (size_t i = 0; i < steps.size(); ++i) {
    steps[i].first();
    EXPECT_EQ(QVServerConnect::hasResponse("v"), steps[i].second) << "step " << i;
  }

  // a reading is of one payload under one key, and stays whole for whoever holds it
  const auto reading = cache.configuration(kKey);
  ASSERT_TRUE(reading);
  EXPECT_EQ(cache.configuration(kKey), reading);  // not read again
  EXPECT_EQ(cache.configuration(std::string(32, 'x')), nullptr);
  EXPECT_EQ(cache.configuration(kKey)->at("v"), 2);
  cache.qv_extend(platform::toBytes(one));
  EXPECT_EQ(reading->at("v"), 2);
  EXPECT_EQ(cache.configuration(kKey)->at("v"), 1);
}

TEST(RemoteConfigLookUp, ReadsWhileThePayloadIsReplaced) {
  Sandbox sandbox;
  auto& cache = QVServerConnect::oneInst()->resources1();
  const std::string one = payloadOf({{"v", 1}});
  const std::string two = payloadOf({{"v", 2}});
  cache.qv_extend(platform::toBytes(one));
  std::atomic<int> torn{0};
  for (int reader = 0; reader < 2; ++reader)
    platform::DispatchQueue::global().async([&] {
      for (int i = 0; i < 200; ++i) {
        const auto v = QVServerConnect::hasResponse("v");
        if (v != json(1) && v != json(2)) ++torn;
      }
    });
  for (int i = 0; i < 200; ++i) {
    cache.qv_extend(std::optional<json>(i % 2 ? one : two));
    cache.qv_load();
  }
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(regularFileText(cachePath(sandbox)), one);
}

// The cache file: what a launch reads, and what a fetch leaves behind.
TEST(RemoteConfigCacheFile, CountKeepsThePayloadWhenThereIsNoFile) {
  Sandbox sandbox;
  AFL_PREFIXDevice cache;
  EXPECT_EQ(cache.filePath(), cachePath(sandbox));
  cache.qv_count();
  EXPECT_EQ(cache.qv_list(), std::nullopt);
  cache.qv_extend(std::optional<json>("in memory"));
  cache.qv_extend(std::optional<json>(5));  // neither text nor bytes: ignored
  cache.qv_count();
  EXPECT_EQ(cache.qv_list(), platform::toBytes("in memory"));
  writeText(cachePath(sandbox), "from file");
  cache.qv_count();
  EXPECT_EQ(cache.qv_list(), platform::toBytes("from file"));
  cache.qv_extend(std::optional<json>(json::binary({0x41, 0x42})));
  EXPECT_EQ(cache.qv_list(), platform::toBytes("AB"));
}

TEST(RemoteConfigCacheFile, WhatIsNotOurRegularFileCountsAsMissingAndIsReplaced) {
  LocalService service;
  const json mine = {{"k", "mine"}};
  const json planted = {{"k", "planted"}};
  service.setConfiguration(mine);
  struct Case {
    std::string name;
    std::function<void(const fs::path& keys, const fs::path& elsewhere)> plant;
  };
  const std::vector<Case> cases = {
      {"a link to a payload elsewhere",
       [&](const fs::path& keys, const fs::path& elsewhere) {
         writeText(elsewhere, payloadOf(planted));
         fs::create_symlink(elsewhere, keys);
       }},
      {"a FIFO", [](const fs::path& keys, const fs::path&) { ASSERT_EQ(::mkfifo(keys.c_str(), 0600), 0); }},
      {"larger than a few megabytes",
       [&](const fs::path& keys, const fs::path&) {
         writeText(keys, payloadOf({{"k", std::string(AFL_PREFIXDevice::kMaximumFileBytes, 'a')}}));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox(service_testing::optionsFor(service.host(), service.certificateFile()));
    const fs::path elsewhere = sandbox.device().root() / "elsewhere";
    c.plant(cachePath(sandbox), elsewhere);
    EXPECT_EQ(QVServerConnect::hasResponse("k"), std::nullopt);  // the shared client reads the file here

    QVServerConnect::qv_createServer([](auto) {});
    sandbox.loop().runUntilIdle();
    EXPECT_EQ(regularFileText(cachePath(sandbox)), payloadOf(mine));
    EXPECT_EQ(QVServerConnect::hasResponse("k"), json("mine"));
    if (fs::exists(elsewhere)) {
      EXPECT_EQ(regularFileText(elsewhere), payloadOf(planted));
    }
  }
}

TEST(RemoteConfigCacheFile, FileThatCannotBeWrittenStillCountsAsASuccess) {
  LocalService service;
  service.setConfiguration({{"k", "v"}});
  Sandbox sandbox(service_testing::optionsFor(service.host(), service.certificateFile()));
  fs::create_directory(cachePath(sandbox));  // no file can be renamed over a directory
  auto ctrl = QVCtrl::oneInst();
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(ctrl->qv_frequency(), 0);
  EXPECT_TRUE(ctrl->qv_nextAlertDate());
  EXPECT_EQ(updatePosts(), 1u);
  EXPECT_EQ(QVServerConnect::hasResponse("k"), json("v"));  // from memory
  EXPECT_EQ(std::distance(fs::directory_iterator(sandbox.device().temporaryDirectory()), {}), 1)
      << "no temporary file left behind";

  sandbox.relaunch();
  service.setMode("new", LocalService::Mode::resetConnection);
  EXPECT_EQ(QVServerConnect::hasResponse("k"), std::nullopt);
}

}  // namespace
