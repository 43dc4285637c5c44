#include <gtest/gtest.h>

#include <vector>

#include "platform/foundation/notification_center.h"
#include "platform/services/reachability.h"
#include "platform/testing/network_conditions.h"
#include "platform/testing/sandbox.h"

namespace platform {
namespace {

using testing::Sandbox;
using testing::setNetworkRoute;

TEST(Reachability, StatusFollowsTheDevicesRoute) {
  Sandbox s;
  auto monitor = Reachability::reachabilityForInternetConnection();
  EXPECT_EQ(monitor->currentReachabilityStatus(), NetworkStatus::reachableViaWiFi);
  setNetworkRoute(NetworkRoute::cellular);
  EXPECT_EQ(monitor->currentReachabilityStatus(), NetworkStatus::reachableViaWWAN);
  setNetworkRoute(NetworkRoute::none);
  EXPECT_EQ(monitor->currentReachabilityStatus(), NetworkStatus::notReachable);
}

TEST(Reachability, ChangesArePostedOnTheMainQueueOnlyOnceTheNotifierRuns) {
  Sandbox s;
  auto monitor = Reachability::reachabilityForInternetConnection();
  auto other = Reachability::reachabilityForInternetConnection();
  std::vector<const void*> senders;
  bool onMain = true;
  NotificationCenter::defaultCenter().addObserver(kReachabilityChangedNotification, [&](const Notification& n) {
    senders.push_back(n.object);
    onMain = onMain && isMainThread();
  });
  setNetworkRoute(NetworkRoute::none);
  s.loop().runUntilIdle();
  EXPECT_TRUE(senders.empty());

  EXPECT_TRUE(monitor->startNotifier());
  EXPECT_TRUE(monitor->startNotifier());  // idempotent: still one post per change
  setNetworkRoute(NetworkRoute::wifi);
  EXPECT_TRUE(senders.empty());
  s.loop().runUntilIdle();
  setNetworkRoute(NetworkRoute::wifi);  // no change
  s.loop().runUntilIdle();
  EXPECT_EQ(senders, std::vector<const void*>{monitor.get()});
  EXPECT_TRUE(onMain);

  monitor->stopNotifier();
  setNetworkRoute(NetworkRoute::cellular);
  s.loop().runUntilIdle();
  EXPECT_EQ(senders.size(), 1u);
}

}  // namespace
}  // namespace platform
