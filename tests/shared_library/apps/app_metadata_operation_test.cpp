#include "shared_library/apps/app_metadata_operation.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/foundation/operation_queue.h"
#include "platform/testing/operation_log.h"
#include "platform/testing/sandbox.h"
#include "tests/shared_library/apps/apps_fixture.h"
#include "tools/local_service.h"

namespace {

using apps_testing::CountingDelegate;
using nlohmann::json;
using orvane_service::LocalService;
using platform::testing::LoopbackReply;
using platform::testing::Sandbox;

LoopbackReply reply(int status, std::string body) {
  LoopbackReply r;
  r.status = status;
  r.body = platform::toBytes(body);
  return r;
}
LoopbackReply results(json first) { return reply(200, json{{"resultCount", 1}, {"results", {first}}}.dump()); }

struct LookUpFixture : ::testing::Test {
  LocalService service;
  Sandbox sandbox{apps_testing::optionsFor(service)};
  platform::OperationQueue queue;
  std::shared_ptr<CountingDelegate> delegate = std::make_shared<CountingDelegate>();

  // Runs one look-up of the record to its end.
  std::shared_ptr<AppMetadataOperation> run(const std::shared_ptr<NativeAppData>& record, bool cancel = false) {
    auto op = std::make_shared<AppMetadataOperation>(record);
    op->setDelegate(delegate);
    if (cancel) op->cancel();
    queue.addOperation(op);
    sandbox.loop().runUntil([&] { return op->isFinished() && queue.operationCount() == 0; });
    sandbox.loop().runUntilIdle();
    return op;
  }
  static std::shared_ptr<NativeAppData> record(std::optional<std::string> storeID) {
    return std::make_shared<NativeAppData>(std::move(storeID), "com.orvane.other", "orvaneother://");
  }
  std::size_t lookUps() const {
    std::size_t n = 0;
    for (const auto& r : service.server().requests())
      if (r.path == "/lookup") ++n;
    return n;
  }
};

TEST_F(LookUpFixture, FillsTheRecordFromTheStore) {
  auto app = record("1000000001");
  auto op = run(app);
  EXPECT_TRUE(op->isFinished());
  EXPECT_EQ(app->name(), "Orvane Notes");
  EXPECT_DOUBLE_EQ(app->rating(), 4.65);
  EXPECT_EQ(app->artworkURL(), "https://store.orvane.example/artwork/notes/512.png");
  EXPECT_EQ(delegate->reports.load(), 1);
  EXPECT_EQ(delegate->onMain.load(), 0);  // on the session's queue
  const auto requests = service.server().requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].query, "id=1000000001");
}

TEST_F(LookUpFixture, ReplyCases) {
  struct Case {
    const char* name;
    LoopbackReply reply;
    bool reported;
    std::optional<std::string> name_;
    double rating;
    std::optional<std::string> artwork;
  };
  const auto none = std::nullopt;
  LoopbackReply reset = reply(200, std::string(64, 'x'));
  reset.delivery = LoopbackReply::Delivery::resetMidBody;
  const std::vector<Case> cases = {
      {"status 404", reply(404, R"({"results":[{"trackName":"x"}]})"), true, none, 0, none},
      {"status 500", reply(500, "oops"), true, none, 0, none},
      {"transport failure", reset, true, none, 0, none},
      {"empty body", reply(200, ""), true, none, 0, none},
      {"not JSON", reply(200, "<html></html>"), true, none, 0, none},
      {"a bare text is no JSON", reply(200, R"("x")"), true, none, 0, none},
      {"a bare number is no JSON", reply(200, "3"), true, none, 0, none},
      {"root an array", reply(200, "[]"), false, none, 0, none},
      {"results missing", reply(200, "{}"), false, none, 0, none},
      {"results not an array", reply(200, R"({"results":{"trackName":"x"}})"), false, none, 0, none},
      {"results empty", reply(200, R"({"resultCount":0,"results":[]})"), false, none, 0, none},
      {"first result not an object", reply(200, R"({"results":[1,{"trackName":"x"}]})"), false, none, 0, none},
      {"trackName only", results({{"trackName", "Plain"}}), true, "Plain", 0, none},
      {"censored name preferred", results({{"trackName", "A: B"}, {"trackCensoredName", "A"}}), true, "A", 0, none},
      {"censored name not text", results({{"trackName", "A: B"}, {"trackCensoredName", 7}}), true, "A: B", 0, none},
      {"half goes up", results({{"averageUserRating", 4.125}}), true, none, 4.13, none},
      {"two decimals", results({{"averageUserRating", 4.7321}}), true, none, 4.73, none},
      {"whole rating", results({{"averageUserRating", 4}}), true, none, 4, none},
      {"rating as text", results({{"averageUserRating", "4.5"}}), true, none, 0, none},
      {"rating as Boolean", results({{"averageUserRating", true}}), true, none, 0, none},
      {"rating too large to round", results({{"averageUserRating", 1e307}}), true, none, 0, none},
      {"artwork 100 without 512",
       results({{"artworkUrl100", "https://a/100.png"}, {"artworkUrl60", "https://a/60.png"}}), true, none, 0,
       "https://a/100.png"},
      {"artwork 60 only", results({{"artworkUrl512", 5}, {"artworkUrl60", "https://a/60.png"}}), true, none, 0,
       "https://a/60.png"},
  };
  int id = 2000000000;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string storeID = std::to_string(++id);
    service.setLookupReply(storeID, c.reply);
    delegate->reports = 0;
    auto app = record(storeID);
    auto op = run(app);
    EXPECT_EQ(op->operationState(), OperationState::finished);
    EXPECT_EQ(delegate->reports.load(), c.reported ? 1 : 0);
    EXPECT_EQ(app->name(), c.name_);
    EXPECT_DOUBLE_EQ(app->rating(), c.rating);
    EXPECT_EQ(app->artworkURL(), c.artwork);
  }
}

TEST_F(LookUpFixture, EndsAtOnceWithAReportAndNoRequest) {
  struct Case {
    const char* name;
    std::optional<std::string> storeID;
  };
  const std::vector<Case> cases = {
      {"no store identifier", std::nullopt},
      {"a space", "100 0001"},
      {"a slash", "1/2"},
      {"an ampersand", "1&id=2"},
      {"a percent sign", "%41"},
      {"non-ASCII", "1\xC3\xA9"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    delegate->reports = 0;
    auto op = run(record(c.storeID));
    EXPECT_TRUE(op->isFinished());
    EXPECT_EQ(delegate->reports.load(), 1);
  }
  EXPECT_EQ(lookUps(), 0u);
}

TEST_F(LookUpFixture, KnownArtworkFinishesOnTheMainQueueWithoutARequest) {
  auto app = record("1000000001");
  app->setArtworkURL("https://known/art.png");
  run(app);
  EXPECT_EQ(delegate->reports.load(), 1);
  EXPECT_EQ(delegate->onMain.load(), 1);
  EXPECT_EQ(app->name(), std::nullopt);
  EXPECT_EQ(lookUps(), 0u);
}

TEST_F(LookUpFixture, CancelledFinishesAndReportsOnceWithoutARequest) {
  platform::testing::OperationLog log;
  auto app = record("1000000001");
  auto op = std::make_shared<AppMetadataOperation>(app);
  log.watch(*op, "op");
  op->setDelegate(delegate);
  op->cancel();
  queue.addOperation(op);
  sandbox.loop().runUntil([&] { return queue.operationCount() == 0; });
  sandbox.loop().runUntilIdle();
  EXPECT_TRUE(op->isFinished());
  EXPECT_EQ(delegate->reports.load(), 1);
  EXPECT_EQ(lookUps(), 0u);
  for (const auto& e : log.events()) EXPECT_NE(e.key, "isExecuting");
}

TEST_F(LookUpFixture, LeavingExecutingAnnouncesOnlyFinished) {
  platform::testing::OperationLog log;
  auto op = std::make_shared<AppMetadataOperation>(record("1000000002"));
  log.watch(*op, "op");
  queue.addOperation(op);
  sandbox.loop().runUntil([&] { return queue.operationCount() == 0; });
  std::vector<std::string> keys;
  for (const auto& e : log.events())
    if (e.change == platform::KeyValueChange::did) keys.push_back(e.key);
  EXPECT_EQ(keys, (std::vector<std::string>{"isReady", "isExecuting", "isFinished"}));
}

TEST_F(LookUpFixture, AGoneDelegateHearsNothing) {
  auto op = std::make_shared<AppMetadataOperation>(record("1000000001"));
  {
    auto shortLived = std::make_shared<CountingDelegate>();
    op->setDelegate(shortLived);
  }
  queue.addOperation(op);
  sandbox.loop().runUntil([&] { return queue.operationCount() == 0; });
  EXPECT_TRUE(op->isFinished());
  EXPECT_EQ(delegate->reports.load(), 0);
}

TEST(LookUpAddress, NeedsTheBaseInTheBundle) {
  Sandbox sandbox;  // no look-up base
  EXPECT_EQ(AppMetadataOperation::lookupURL("1000000001"), std::nullopt);
}

TEST(LookUpAddressDeathTest, ARecordIsRequired) {
  EXPECT_DEATH(AppMetadataOperation(nullptr), "needs an application record");
}

}  // namespace
