#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/process.h"
#include "platform/testing/network_conditions.h"
#include "platform/testing/sandbox.h"
#include "shared_library/permissions/local_network_manager.h"

namespace {

using platform::LocalNetworkPolicy;
using platform::NWBrowserState;
using platform::NWError;
using platform::testing::localNetwork;
using platform::testing::Sandbox;
using Kind = NWBrowserState::Kind;

const NWError kRefused{NWError::Domain::posix, 61, "Connection refused"};

class LocalNetworkManagerTest : public ::testing::Test {
 protected:
  // The policy is left undetermined, so only what a test delivers reaches the probe.
  Sandbox sandbox;
  std::shared_ptr<LocalNetworkManager> manager = std::make_shared<LocalNetworkManager>();
  std::vector<bool> answers;

  LocalNetworkManager::Completion recorder() {
    return [this](bool granted) { answers.push_back(granted); };
  }
  std::vector<std::string> console() { return sandbox.consoleLines(); }
  size_t logCount(const std::string& entry) {
    auto log = localNetwork().callLog();
    return static_cast<size_t>(std::count(log.begin(), log.end(), entry));
  }
};

TEST_F(LocalNetworkManagerTest, StartsEmpty) {
  EXPECT_EQ(manager->browser(), nullptr);
  EXPECT_EQ(manager->netService(), nullptr);
  EXPECT_FALSE(manager->completion());
  manager->stopManager();  // nothing running: nothing happens
  EXPECT_TRUE(localNetwork().callLog().empty());
}

TEST_F(LocalNetworkManagerTest, RequestBrowsesAndPublishesInOrderWithTheFixedValues) {
  manager->requestAuthorizationWithCompletion(recorder());
  EXPECT_EQ(localNetwork().callLog(),
            (std::vector<std::string>{
                "NWBrowser#1 bonjour type \"_bonjour._tcp\" domain none includePeerToPeer true",
                "NWBrowser#1 stateUpdateHandler",
                "NetService#2 domain \"local.\" type \"_lnp._tcp.\" name \"LocalNetworkPrivacy\" port 1100",
                "NetService#2 delegate",
                "NWBrowser#1 start on the main queue",
                "NetService#2 publish",
            }));
  ASSERT_NE(manager->browser(), nullptr);
  ASSERT_NE(manager->netService(), nullptr);
  EXPECT_EQ(manager->netService()->delegate(), manager);
  EXPECT_TRUE(manager->completion());
  EXPECT_TRUE(answers.empty());  // the answer comes later
  EXPECT_TRUE(localNetwork().alertShown());
}

TEST(LocalNetworkManager, EachEventHasItsLineAndAnswer) {
  struct Case {
    std::optional<NWBrowserState> state;  // none: the service is published
    std::vector<std::string> lines;
    std::vector<bool> answers;
    bool stillProbing;
  };
  const std::string denied = "Local network permission has been denied: " + NWError::policyDenied().description();
  const std::vector<Case> cases{
      {NWBrowserState::failed(kRefused), {kRefused.localizedDescription()}, {}, true},
      {NWBrowserState::waiting(NWError::policyDenied()), {denied}, {false}, false},
      {NWBrowserState{Kind::ready, {}}, {}, {}, true},
      {NWBrowserState{Kind::setup, {}}, {}, {}, true},
      {NWBrowserState{Kind::cancelled, {}}, {}, {}, true},
      {std::nullopt, {"Local network permission has been granted"}, {true}, false},
  };
  for (const auto& c : cases) {
    Sandbox s;
    auto m = std::make_shared<LocalNetworkManager>();
    std::vector<bool> got;
    m->requestAuthorizationWithCompletion([&](bool granted) { got.push_back(granted); });
    ASSERT_TRUE(c.state ? localNetwork().deliverState(*c.state) : localNetwork().deliverPublication(true));
    s.loop().runUntilIdle();
    EXPECT_EQ(s.consoleLines(), c.lines);
    EXPECT_EQ(got, c.answers);
    EXPECT_EQ(m->browser() != nullptr, c.stillProbing);
    EXPECT_EQ(m->netService() != nullptr, c.stillProbing);
    EXPECT_TRUE(m->completion());
  }
}

TEST(LocalNetworkManager, TheProbeIsStoppedBeforeTheCompletionRuns) {
  for (bool granted : {false, true}) {
    Sandbox s;
    auto m = std::make_shared<LocalNetworkManager>();
    std::vector<std::string> logAtAnswer;
    bool emptyAtAnswer = false;
    m->requestAuthorizationWithCompletion([&](bool) {
      logAtAnswer = localNetwork().callLog();
      emptyAtAnswer = !m->browser() && !m->netService();
    });
    localNetwork().setPolicy(granted ? LocalNetworkPolicy::granted : LocalNetworkPolicy::denied);
    s.loop().runUntilIdle();
    EXPECT_TRUE(emptyAtAnswer);
    ASSERT_GE(logAtAnswer.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(logAtAnswer.end() - 2, logAtAnswer.end()),
              (std::vector<std::string>{"NWBrowser#1 cancel", "NetService#2 stop"}));
  }
}

TEST_F(LocalNetworkManagerTest, AfterTheAnswerStopDoesNothingAndTheManagerIsFreed) {
  manager->requestAuthorizationWithCompletion(recorder());
  localNetwork().setPolicy(LocalNetworkPolicy::granted);
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(answers, std::vector<bool>{true});
  const auto log = localNetwork().callLog();
  manager->stopManager();
  EXPECT_EQ(localNetwork().callLog(), log);
  EXPECT_EQ(localNetwork().runningBrowserCount(), 0u);
  EXPECT_EQ(localNetwork().publishingServiceCount(), 0u);
  std::weak_ptr<LocalNetworkManager> weak = manager;
  manager.reset();
  EXPECT_TRUE(weak.expired());  // the browser's handler no longer holds it
}

TEST(LocalNetworkManager, WithoutACompletionEventsStillStopTheProbeAndWriteTheirLines) {
  for (bool granted : {false, true}) {
    Sandbox s;
    auto m = std::make_shared<LocalNetworkManager>();
    m->requestAuthorizationWithCompletion(nullptr);
    localNetwork().setPolicy(granted ? LocalNetworkPolicy::granted : LocalNetworkPolicy::denied);
    s.loop().runUntilIdle();
    EXPECT_EQ(m->browser(), nullptr);
    ASSERT_EQ(s.consoleLines().size(), 1u);
    EXPECT_EQ(s.consoleLines()[0].starts_with("Local network permission has been granted"), granted);
  }
}

TEST_F(LocalNetworkManagerTest, AFailedBrowserStillLetsThePublicationAnswer) {
  manager->requestAuthorizationWithCompletion(recorder());
  localNetwork().deliverState(NWBrowserState::failed(kRefused));
  sandbox.loop().runUntilIdle();
  EXPECT_TRUE(answers.empty());
  localNetwork().deliverPublication(true);
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(answers, std::vector<bool>{true});
}

TEST_F(LocalNetworkManagerTest, AFailedPublicationIsIgnored) {
  manager->requestAuthorizationWithCompletion(recorder());
  localNetwork().deliverPublication(false);
  sandbox.loop().runUntilIdle();
  EXPECT_TRUE(answers.empty());
  EXPECT_TRUE(console().empty());
  EXPECT_NE(manager->browser(), nullptr);
}

TEST_F(LocalNetworkManagerTest, EventsAlreadyQueuedAnswerARequestOnce) {
  manager->requestAuthorizationWithCompletion(recorder());
  localNetwork().deliverState(NWBrowserState::waiting(NWError::policyDenied()));
  localNetwork().deliverPublication(true);
  localNetwork().deliverState(NWBrowserState::waiting(NWError::policyDenied()));
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(answers, std::vector<bool>{false});
  EXPECT_EQ(console().size(), 1u);
}

TEST_F(LocalNetworkManagerTest, ASecondRequestEndsTheFirstAndOnlyItsCallbackAnswers) {
  std::vector<bool> first;
  manager->requestAuthorizationWithCompletion([&](bool granted) { first.push_back(granted); });
  manager->requestAuthorizationWithCompletion(recorder());
  EXPECT_EQ(logCount("NWBrowser#1 cancel"), 1u);
  EXPECT_EQ(logCount("NetService#2 stop"), 1u);
  EXPECT_EQ(localNetwork().runningBrowserCount(), 1u);
  // A denial reaches only the current browser, so the old probe cannot tear the new one down.
  localNetwork().setPolicy(LocalNetworkPolicy::denied);
  sandbox.loop().runUntilIdle();
  EXPECT_TRUE(first.empty());
  EXPECT_EQ(answers, std::vector<bool>{false});
  EXPECT_EQ(logCount("NWBrowser#3 cancel"), 1u);
}

TEST_F(LocalNetworkManagerTest, ANewRequestFromInsideTheCompletionRunsOnItsOwn) {
  std::vector<bool> second;
  manager->requestAuthorizationWithCompletion([&](bool) {
    answers.push_back(true);
    manager->requestAuthorizationWithCompletion([&](bool granted) { second.push_back(granted); });
  });
  localNetwork().deliverPublication(true);
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(answers.size(), 1u);
  EXPECT_TRUE(second.empty());
  EXPECT_NE(manager->browser(), nullptr);
  localNetwork().deliverPublication(true);
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(second, std::vector<bool>{true});
  EXPECT_EQ(answers.size(), 1u);
}

}  // namespace
