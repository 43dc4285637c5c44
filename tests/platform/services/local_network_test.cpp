#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/queues.h"
#include "platform/services/local_network.h"
#include "platform/testing/network_conditions.h"
#include "platform/testing/sandbox.h"

namespace platform {
namespace {

using Kind = NWBrowserState::Kind;
using testing::localNetwork;
using testing::Sandbox;

struct Seen {
  std::vector<Kind> states;
  std::vector<std::optional<NWError>> errors;
  bool onMain = true;
};

std::shared_ptr<NWBrowser> startedBrowser(Seen& seen) {
  auto b = NWBrowser::make(NWBrowser::Descriptor::bonjour("_x._tcp"), NWParameters{});
  b->setStateUpdateHandler([&seen](const NWBrowserState& s) {
    seen.states.push_back(s.kind);
    seen.errors.push_back(s.error);
    seen.onMain = seen.onMain && isMainThread();
  });
  b->start(DispatchQueue::main());
  return b;
}

class Recorder : public NetServiceDelegate {
 public:
  void netServiceDidPublish(NetService&) override { events.push_back("published"); }
  void netServiceDidNotPublish(NetService&, const std::map<std::string, std::int64_t>& errors) override {
    events.push_back("not published " + std::to_string(errors.at(NSNetServicesErrorCode)));
  }
  std::vector<std::string> events;
};

std::shared_ptr<NetService> publishedService(const std::shared_ptr<Recorder>& delegate) {
  auto s = NetService::make("local.", "_x._tcp.", "X", 1);
  s->setDelegate(delegate);
  s->publish();
  return s;
}

Sandbox::Options withPolicy(LocalNetworkPolicy policy) {
  Sandbox::Options o;
  o.profile.localNetworkPolicy = policy;
  return o;
}

TEST(LocalNetworkBrowser, ReportsTheUsersChoiceOnItsStartQueueAfterStart) {
  struct Case {
    LocalNetworkPolicy policy;
    std::vector<Kind> expected;
  };
  for (const auto& c : {Case{LocalNetworkPolicy::granted, {Kind::ready}}, Case{LocalNetworkPolicy::denied, {Kind::waiting}},
                        Case{LocalNetworkPolicy::undetermined, {}}}) {
    Sandbox s(withPolicy(c.policy));
    Seen seen;
    auto b = startedBrowser(seen);
    EXPECT_TRUE(seen.states.empty());  // never inside start()
    s.loop().runUntilIdle();
    EXPECT_EQ(seen.states, c.expected);
    EXPECT_TRUE(seen.onMain);
    if (c.policy == LocalNetworkPolicy::denied) {
      EXPECT_EQ(seen.errors[0], NWError::policyDenied());
    }
    EXPECT_TRUE(localNetwork().alertShown());
  }
}

TEST(LocalNetworkBrowser, TheUsersAnswerReachesRunningBrowsersOnly) {
  Sandbox s;
  Seen first, second, cancelled;
  auto a = startedBrowser(first);
  auto b = startedBrowser(second);
  auto c = startedBrowser(cancelled);
  c->cancel();
  s.loop().runUntilIdle();
  EXPECT_TRUE(first.states.empty());
  localNetwork().setPolicy(LocalNetworkPolicy::denied);
  s.loop().runUntilIdle();
  EXPECT_EQ(first.states, std::vector<Kind>{Kind::waiting});
  EXPECT_EQ(second.states, std::vector<Kind>{Kind::waiting});
  EXPECT_TRUE(cancelled.states.empty());
  localNetwork().setPolicy(LocalNetworkPolicy::denied);  // no change, nothing new
  s.loop().runUntilIdle();
  EXPECT_EQ(first.states.size(), 1u);
}

TEST(LocalNetworkBrowser, NothingArrivesAfterCancelEvenWhenAlreadyQueued) {
  Sandbox s(withPolicy(LocalNetworkPolicy::granted));
  Seen seen;
  auto b = startedBrowser(seen);
  ASSERT_TRUE(localNetwork().deliverState(NWBrowserState::failed(NWError{NWError::Domain::posix, 61, "Refused"})));
  b->cancel();
  s.loop().runUntilIdle();
  EXPECT_TRUE(seen.states.empty());
  EXPECT_FALSE(localNetwork().deliverState(NWBrowserState{Kind::cancelled, {}}));
  EXPECT_EQ(localNetwork().runningBrowserCount(), 0u);
}

TEST(LocalNetworkBrowser, ScriptedStatesGoToTheNewestRunningBrowser) {
  Sandbox s(withPolicy(LocalNetworkPolicy::undetermined));
  Seen older, newer;
  auto a = startedBrowser(older);
  auto b = startedBrowser(newer);
  localNetwork().deliverState(NWBrowserState{Kind::setup, {}});
  localNetwork().deliverState(NWBrowserState::failed(NWError{NWError::Domain::posix, 50, "Network is down"}));
  localNetwork().deliverState(NWBrowserState{Kind::cancelled, {}});
  s.loop().runUntilIdle();
  EXPECT_TRUE(older.states.empty());
  EXPECT_EQ(newer.states, (std::vector<Kind>{Kind::setup, Kind::failed, Kind::cancelled}));
}

TEST(LocalNetworkBrowser, ABrowserDroppedInsideItsOwnHandlerLivesUntilTheHandlerReturns) {
  Sandbox s(withPolicy(LocalNetworkPolicy::granted));
  auto holder = std::make_shared<std::shared_ptr<NWBrowser>>();
  std::string after;
  *holder = NWBrowser::make(NWBrowser::Descriptor::bonjour("_x._tcp"), NWParameters{});
  (*holder)->setStateUpdateHandler([holder, &after](const NWBrowserState&) {
    auto local = holder;  // what the handler captured must stay valid below
    (*local)->cancel();
    local->reset();
    after = "still running";
  });
  (*holder)->start(DispatchQueue::main());
  std::weak_ptr<NWBrowser> weak = *holder;
  s.loop().runUntilIdle();
  EXPECT_EQ(after, "still running");
  EXPECT_TRUE(weak.expired());
}

TEST(NetService, PublicationFollowsTheUsersChoiceOnTheMainQueue) {
  struct Case {
    LocalNetworkPolicy policy;
    std::vector<std::string> expected;
  };
  for (const auto& c : {Case{LocalNetworkPolicy::granted, {"published"}},
                        Case{LocalNetworkPolicy::denied, {"not published -72002"}},
                        Case{LocalNetworkPolicy::undetermined, {}}}) {
    Sandbox s(withPolicy(c.policy));
    auto d = std::make_shared<Recorder>();
    auto service = publishedService(d);
    EXPECT_TRUE(d->events.empty());
    s.loop().runUntilIdle();
    EXPECT_EQ(d->events, c.expected);
    EXPECT_TRUE(localNetwork().alertShown());
  }
}

TEST(NetService, AWaitingPublicationGetsTheAnswerOnce) {
  Sandbox s;
  auto d = std::make_shared<Recorder>();
  auto service = publishedService(d);
  localNetwork().setPolicy(LocalNetworkPolicy::granted);
  s.loop().runUntilIdle();
  localNetwork().setPolicy(LocalNetworkPolicy::denied);
  localNetwork().setPolicy(LocalNetworkPolicy::granted);
  s.loop().runUntilIdle();
  EXPECT_EQ(d->events, std::vector<std::string>{"published"});
}

TEST(NetService, NothingArrivesAfterStopOrForAGoneDelegate) {
  Sandbox s(withPolicy(LocalNetworkPolicy::granted));
  auto d = std::make_shared<Recorder>();
  auto stopped = publishedService(d);
  stopped->stop();
  auto orphan = publishedService(std::make_shared<Recorder>());  // its delegate is gone at once
  s.loop().runUntilIdle();
  EXPECT_TRUE(d->events.empty());
  EXPECT_EQ(orphan->delegate(), nullptr);
  EXPECT_EQ(localNetwork().publishingServiceCount(), 1u);
}

TEST(LocalNetwork, CallLogKeepsTheOrderAndTheLiterals) {
  Sandbox s;
  NWParameters p;
  p.includePeerToPeer = true;
  auto b = NWBrowser::make(NWBrowser::Descriptor::bonjour("_b._tcp", "example."), p);
  auto service = NetService::make("local.", "_s._tcp.", "Name", 7);
  b->start(DispatchQueue::main());
  service->publish();
  b->cancel();
  service->stop();
  EXPECT_EQ(localNetwork().callLog(),
            (std::vector<std::string>{"NWBrowser#1 bonjour type \"_b._tcp\" domain \"example.\" includePeerToPeer true",
                                      "NetService#2 domain \"local.\" type \"_s._tcp.\" name \"Name\" port 7",
                                      "NWBrowser#1 start on the main queue", "NetService#2 publish",
                                      "NWBrowser#1 cancel", "NetService#2 stop"}));
}

TEST(LocalNetwork, ErrorsHaveTwoDifferentTexts) {
  const auto e = NWError::policyDenied();
  EXPECT_EQ(e.description(), "-65570: PolicyDenied");
  EXPECT_NE(e.localizedDescription(), e.description());
  EXPECT_NE(e.localizedDescription().find("PolicyDenied"), std::string::npos);
}

}  // namespace
}  // namespace platform
