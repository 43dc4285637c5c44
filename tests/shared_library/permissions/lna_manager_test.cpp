#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/foundation/queues.h"
#include "platform/foundation/user_defaults.h"
#include "platform/testing/network_conditions.h"
#include "platform/testing/sandbox.h"
#include "shared_library/permissions/lna_manager.h"

namespace {

using platform::LocalNetworkPolicy;
using platform::testing::localNetwork;
using platform::testing::Sandbox;

class Listener : public LNAManagerProtocol {
 public:
  void didReceiveResponseFromPing(bool isLNAEnabled) override {
    answers.push_back(isLNAEnabled);
    onMain = onMain && platform::isMainThread();
  }
  std::vector<bool> answers;
  bool onMain = true;
};

class LNAManagerTest : public ::testing::Test {
 protected:
  Sandbox sandbox;
  std::shared_ptr<Listener> listener = std::make_shared<Listener>();
  std::shared_ptr<LNAManager> manager = LNAManager::shared();

  void SetUp() override { manager->setDelegate(listener); }
  size_t browsersMade() {
    size_t n = 0;
    for (const auto& e : localNetwork().callLog()) n += e.find("bonjour type") != std::string::npos;
    return n;
  }
};

TEST_F(LNAManagerTest, OneInstancePerProcess) {
  EXPECT_EQ(LNAManager::shared(), manager);
  EXPECT_EQ(manager->lnaManager(), LNAManager::shared()->lnaManager());
  EXPECT_FALSE(manager->hasLNAAlertShown());
  EXPECT_FALSE(manager->hasPingSent());
  EXPECT_FALSE(manager->isLNAEnabled());
  manager->setHasLNAAlertTriggered(true);
  EXPECT_TRUE(manager->hasLNAAlertTriggered());
}

TEST(LNAManager, TheUsersAnswerComesToTheDelegateOnTheMainQueue) {
  for (auto policy : {LocalNetworkPolicy::granted, LocalNetworkPolicy::denied}) {
    Sandbox s;
    auto listener = std::make_shared<Listener>();
    LNAManager::shared()->setDelegate(listener);
    LNAManager::shared()->requestAuthorization();
    localNetwork().setPolicy(policy);
    EXPECT_TRUE(listener->answers.empty());
    s.loop().runUntilIdle();
    const bool granted = policy == LocalNetworkPolicy::granted;
    EXPECT_EQ(listener->answers, std::vector<bool>{granted});
    EXPECT_EQ(LNAManager::shared()->isLNAEnabled(), granted);
    EXPECT_TRUE(listener->onMain);
  }
}

TEST_F(LNAManagerTest, TheFirstCheckMarksTheAlertShownAcrossLaunches) {
  manager->startPing();
  EXPECT_TRUE(manager->hasPingSent());
  EXPECT_TRUE(manager->hasLNAAlertShown());
  sandbox.relaunch();
  EXPECT_TRUE(LNAManager::shared()->hasLNAAlertShown());
  EXPECT_FALSE(LNAManager::shared()->hasPingSent());
}

TEST_F(LNAManagerTest, OneCheckAtATime) {
  manager->requestAuthorization();
  manager->startPing();
  manager->requestAuthorization();
  EXPECT_EQ(browsersMade(), 1u);
  localNetwork().setPolicy(LocalNetworkPolicy::granted);
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(listener->answers, std::vector<bool>{true});
  manager->startPing();  // the check has ended: a new one starts
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(browsersMade(), 2u);
  EXPECT_EQ(listener->answers, (std::vector<bool>{true, true}));
}

TEST_F(LNAManagerTest, ACheckWithoutAnswerEndsAsNotPermittedAfterTheTimeLimit) {
  manager->requestAuthorization();
  sandbox.loop().runFor(LNAManager::kTimeLimit - 0.001);
  EXPECT_TRUE(listener->answers.empty());
  sandbox.loop().runFor(0.001);
  EXPECT_EQ(listener->answers, std::vector<bool>{false});
  EXPECT_EQ(localNetwork().runningBrowserCount(), 0u);  // the probe is stopped
  localNetwork().setPolicy(LocalNetworkPolicy::granted);
  sandbox.loop().runFor(20.0);
  EXPECT_EQ(listener->answers, std::vector<bool>{false});
}

TEST_F(LNAManagerTest, AnAnswerInTimeWithdrawsTheTimeLimit) {
  localNetwork().setPolicy(LocalNetworkPolicy::granted);
  manager->requestAuthorization();
  sandbox.loop().runFor(30.0);
  EXPECT_EQ(listener->answers, std::vector<bool>{true});
}

TEST_F(LNAManagerTest, TheDelegateIsHeldWeakly) {
  localNetwork().setPolicy(LocalNetworkPolicy::granted);
  std::weak_ptr<Listener> weak = listener;
  listener.reset();
  EXPECT_TRUE(weak.expired());
  manager->requestAuthorization();
  sandbox.loop().runUntilIdle();  // nobody to tell, and no harm
  auto next = std::make_shared<Listener>();
  manager->setDelegate(next);
  manager->startPing();
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(next->answers, std::vector<bool>{true});
}

}  // namespace
