#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/json.h"
#include "platform/network/url_error.h"
#include "platform/security/keychain_wrapper.h"
#include "platform/testing/loopback_server.h"
#include "service_client/string_cipher.h"
#include "tests/service_client/exchange_fixture.h"
#include "tools/local_service.h"

namespace {

using nlohmann::json;
using platform::testing::LoopbackReply;
using platform::testing::LoopbackRequest;
using platform::testing::LoopbackServer;
using platform::testing::Sandbox;
using service_testing::callAndWait;

const std::string kKey = "com.orvane.vpn~~~~~~~~~~~~~~~~~~";

std::optional<std::string> keychain(const std::string& account) {
  return platform::KeychainWrapper("com.orvane.vpn").get(account);
}

json decipheredParameters(const LoopbackRequest& request) {
  const json envelope = json::parse(platform::toString(request.body));
  return json::parse(*QVExtStore::qv_remove(envelope["data"].get<std::string>(), kKey));
}

// Against the local stand-in of the service: what a first and a later call send and keep.
class ExchangeWithService : public ::testing::Test {
 protected:
  orvane_service::LocalService service;
  Sandbox sandbox{service_testing::optionsFor(service.host(), service.certificateFile())};
};

TEST_F(ExchangeWithService, FirstCallSendsTheEnvelopeAndKeepsWhatTheServiceIssues) {
  auto outcome = callAndWait(sandbox, "sl");
  ASSERT_FALSE(outcome.error) << outcome.error->localizedDescription;
  EXPECT_EQ(outcome.calls, 1);
  EXPECT_FALSE(outcome.onMainThread);
  ASSERT_TRUE(outcome.result && outcome.result->is_object());
  EXPECT_TRUE((*outcome.result)["servers"].is_string());  // "sl" gives the deciphered, parsed result

  const auto request = service.server().requests().at(0);
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.path, "/data/server/");
  std::vector<std::string> ours;
  for (const auto& [name, value] : request.headers)
    if (name == "Content-Type" || name == "Accept" || name == "cdn-ray-key") ours.push_back(name + ": " + value);
  EXPECT_EQ(ours, (std::vector<std::string>{"Content-Type: application/json", "Accept: application/json",
                                            "cdn-ray-key: -"}));

  const auto exchange = service.exchanges().at(0);
  const json& envelope = exchange.envelope;
  EXPECT_EQ(envelope["bb"], "com.orvane.vpn");
  EXPECT_EQ(envelope["system"], "ios");
  EXPECT_EQ(envelope["version"], "1.0");
  EXPECT_FALSE(envelope.contains("in"));
  ASSERT_TRUE(exchange.parameters);
  const json& params = *exchange.parameters;
  EXPECT_EQ(params["c1"], "sl");
  for (const auto* member : {"d1", "sv", "d2", "lan", "lc1", "lc2", "zone", "n1", "tm"})
    EXPECT_TRUE(params.contains(member)) << member;
  EXPECT_FALSE(params.contains("ap"));

  EXPECT_EQ(QVServerConnect::neExtKey(), exchange.issuedInstall);
  EXPECT_EQ(keychain("index"), exchange.issuedInstall);
  EXPECT_EQ(keychain("tag1"), exchange.issuedToken);

  // the next launch sends both back
  sandbox.relaunch();
  EXPECT_EQ(QVServerConnect::neExtKey(), exchange.issuedInstall);
  ASSERT_FALSE(callAndWait(sandbox, "new").error);
  const auto second = service.exchanges().at(1);
  EXPECT_EQ(second.envelope["in"], exchange.issuedInstall);
  EXPECT_EQ(second.token, exchange.issuedToken);
}

TEST_F(ExchangeWithService, NewGivesTheResultStillEnciphered) {
  const json configuration = {{"u.f.e", "5"}};
  service.setConfiguration(configuration);
  auto outcome = callAndWait(sandbox, "new");
  ASSERT_TRUE(outcome.result && outcome.result->is_string());
  EXPECT_EQ(json::parse(*QVExtStore::qv_remove(outcome.result->get<std::string>(), kKey)), configuration);
}

TEST_F(ExchangeWithService, CallerParametersOverrideDeviceOnesButNotTheCallName) {
  QVServerConnect::setExts("extra");
  callAndWait(sandbox, "sl", json{{"d1", "Caller's phone"}, {"c1", "other"}, {"x", 1}});
  const auto params = *service.exchanges().at(0).parameters;
  EXPECT_EQ(params["d1"], "Caller's phone");
  EXPECT_EQ(params["c1"], "sl");
  EXPECT_EQ(params["x"], 1);
  EXPECT_EQ(params["ap"], "extra");
  // parameters that are not an object are ignored
  callAndWait(sandbox, "sl", json::array({1, 2}));
  EXPECT_EQ(service.exchanges().at(1).parameters->at("d1"), "iPhone");
}

TEST_F(ExchangeWithService, TransferFailureReachesTheCompletion) {
  service.setMode("sl", orvane_service::LocalService::Mode::resetConnection);
  auto outcome = callAndWait(sandbox, "sl");
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->domain, platform::NSURLErrorDomain);
  EXPECT_FALSE(outcome.result);
  EXPECT_EQ(outcome.calls, 1);
}

TEST(ExchangeWithoutAService, NoCallNameFailsAtOnceAndSendsNothing) {
  LoopbackServer server;
  Sandbox sandbox(service_testing::optionsFor("127.0.0.1:" + std::to_string(server.port()), server.certificateFile()));
  int calls = 0;
  std::optional<platform::Error> error;
  bool onMain = false;
  QVServerConnect::qv_callNow(std::nullopt, std::nullopt, [&](auto result, auto e) {
    ++calls;
    error = e;
    onMain = platform::isMainThread();
    EXPECT_FALSE(result);
  });
  EXPECT_EQ(calls, 1);  // before qv_callNow returned
  EXPECT_TRUE(onMain);
  EXPECT_EQ(error, exchangeError());
  EXPECT_EQ(error->domain, "ADomain");
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(server.requestCount(), 0u);
  QVServerConnect::qv_callNow(std::nullopt, std::nullopt, nullptr);  // no completion: nothing at all
}

TEST(ExchangeWithoutAService, MissingServiceHostIsABadURLOnTheBackground) {
  Sandbox sandbox;
  auto outcome = callAndWait(sandbox, "sl");
  ASSERT_TRUE(outcome.error);
  EXPECT_EQ(outcome.error->code, platform::NSURLErrorBadURL);
  EXPECT_FALSE(outcome.onMainThread);
}

// Against a scripted server: the reply handling, one reply at a time.
class ScriptedReplies : public ::testing::Test {
 protected:
  ScriptedReplies() {
    server.on("POST", "/data/server/", [this](const LoopbackRequest& request) {
      std::lock_guard lock(mutex);
      if (beforeReply) beforeReply();
      (void)request;
      return reply;
    });
  }
  void answer(const std::string& body, platform::testing::LoopbackHeaders headers = {}, int status = 200) {
    std::lock_guard lock(mutex);
    reply = LoopbackReply{};
    reply.status = status;
    reply.body = platform::toBytes(body);
    reply.headers = std::move(headers);
  }

  LoopbackServer server;
  Sandbox sandbox{service_testing::optionsFor("127.0.0.1:" + std::to_string(server.port()), server.certificateFile())};
  std::mutex mutex;
  LoopbackReply reply;
  std::function<void()> beforeReply;
};

TEST_F(ScriptedReplies, ReplyHandlingTable) {
  const std::string okResult = QVExtStore::qv_add(R"({"a":1})", kKey);
  const std::string notJSON = QVExtStore::qv_add("not json", kKey);
  const std::string notUTF8 = QVExtStore::qv_add(std::string("\xff\xfe"), kKey);
  const std::string withNUL = QVExtStore::qv_add(std::string("{\"a\":1}\0junk", 12), kKey);
  struct Case {
    std::string name, call, body;
    std::optional<json> result;
    std::optional<std::string> errorDomain;
  };
  const std::vector<Case> cases = {
      {"parsed result", "sl", json{{"rp", okResult}}.dump(), json{{"a", 1}}, std::nullopt},
      {"raw result for new", "new", json{{"rp", okResult}}.dump(), json(okResult), std::nullopt},
      {"number for new", "new", R"({"rp":5})", std::nullopt, "ADomain"},
      {"null for new", "new", R"({"rp":null})", std::nullopt, "ADomain"},
      {"object for new", "new", R"({"rp":{"a":1}})", std::nullopt, "ADomain"},
      {"empty object", "sl", "{}", std::nullopt, std::nullopt},
      {"no rp but in", "sl", R"({"in":"X"})", std::nullopt, std::nullopt},
      {"empty body", "sl", "", std::nullopt, "NSCocoaErrorDomain"},
      {"not JSON", "sl", "<html>", std::nullopt, "NSCocoaErrorDomain"},
      {"not UTF-8", "sl", "{\"rp\":\"\xff\"}", std::nullopt, "ADomain"},
      {"not an object", "sl", "[1,2]", std::nullopt, "ADomain"},
      {"rp not a text", "sl", R"({"rp":{"a":1}})", std::nullopt, "ADomain"},
      {"rp fails the cipher", "sl", R"({"rp":"garbage"})", std::nullopt, "NSCocoaErrorDomain"},
      {"rp deciphers to no JSON", "sl", json{{"rp", notJSON}}.dump(), std::nullopt, "NSCocoaErrorDomain"},
      {"rp deciphers to no text", "sl", json{{"rp", notUTF8}}.dump(), std::nullopt, "ADomain"},
      {"rp deciphers to JSON then a NUL", "sl", json{{"rp", withNUL}}.dump(), std::nullopt, "NSCocoaErrorDomain"},
      {"JSON then a NUL", "sl", std::string("{\"rp\":\"") + okResult + "\"}" + std::string(1, '\0') + "<html>",
       std::nullopt, "NSCocoaErrorDomain"},
  };
  for (const auto& c : cases) {
    answer(c.body);
    auto outcome = callAndWait(sandbox, c.call);
    EXPECT_EQ(outcome.calls, 1) << c.name;
    EXPECT_FALSE(outcome.onMainThread) << c.name;
    EXPECT_EQ(outcome.result, c.result) << c.name;
    EXPECT_EQ(outcome.error ? std::optional(outcome.error->domain) : std::nullopt, c.errorDomain) << c.name;
  }
  // the HTTP status plays no part
  answer(json{{"rp", okResult}}.dump(), {}, 500);
  EXPECT_EQ(callAndWait(sandbox, "sl").result, (json{{"a", 1}}));
}

TEST_F(ScriptedReplies, InstallIdentifierAndTokenRules) {
  struct Step {
    std::string name, body;
    std::optional<std::string> header;
    std::optional<std::string> index, tag1;
  };
  const std::vector<Step> steps = {
      {"first identifier and token", R"({"in":"A"})", "t1", "A", "t1"},
      {"same identifier, new token", R"({"in":"A"})", "t2", "A", "t2"},
      {"no in: the token is not kept", "{}", "t3", "A", "t2"},
      {"in of another type still lets the token in", R"({"in":5})", "t4", "A", "t4"},
      {"empty in never replaces the identifier", R"({"in":""})", "t5", "A", "t5"},
      {"new identifier, no header", R"({"in":"B"})", std::nullopt, "B", "t5"},
      {"not JSON keeps everything", "nope", "t6", "B", "t5"},
      {"JSON then a NUL keeps everything", std::string("{\"in\":\"ID9\"}\0<html>", 19), "t7", "B", "t5"},
  };
  for (const auto& s : steps) {
    platform::testing::LoopbackHeaders headers;
    if (s.header) headers.emplace_back("CDN-Ray-Key", *s.header);  // any case
    answer(s.body, headers);
    callAndWait(sandbox, "sl");
    EXPECT_EQ(keychain("index"), s.index) << s.name;
    EXPECT_EQ(keychain("tag1"), s.tag1) << s.name;
    EXPECT_EQ(QVServerConnect::neExtKey(), s.index) << s.name;
  }
  // every later request carries what is stored
  const auto last = server.requests().back();
  EXPECT_EQ(last.header("cdn-ray-key"), "t5");
  EXPECT_EQ(json::parse(platform::toString(last.body))["in"], "B");
}

TEST_F(ScriptedReplies, TokenIsNotKeptFromARequestSentThroughATunnel) {
  sandbox.device().updateProfile([](auto& p) { p.scopedProxyInterfaces = {"en0", "utun3"}; });
  // the tunnel is gone by the time the reply comes: the request's state counts
  beforeReply = [this] { sandbox.device().updateProfile([](auto& p) { p.scopedProxyInterfaces = {"en0"}; }); };
  answer(R"({"in":"A"})", {{"cdn-ray-key", "t1"}});
  callAndWait(sandbox, "sl");
  EXPECT_EQ(keychain("index"), "A");
  EXPECT_EQ(keychain("tag1"), std::nullopt);
  EXPECT_EQ(decipheredParameters(server.requests().back())["n1"], "1");
}

TEST_F(ScriptedReplies, StoredTokenThatCannotBeAHeaderIsSentAsDash) {
  ASSERT_TRUE(platform::KeychainWrapper("com.orvane.vpn").set("tag1", "bad\r\nInjected: yes"));
  answer("{}");
  callAndWait(sandbox, "sl");
  const auto request = server.requests().back();
  EXPECT_EQ(request.header("cdn-ray-key"), "-");
  EXPECT_EQ(request.headerCount("Injected"), 0u);
}

}  // namespace
