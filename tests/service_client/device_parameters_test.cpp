#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/bytes.h"
#include "platform/testing/sandbox.h"
#include "service_client/service_exchange.h"

namespace {

using platform::DeviceProfile;
using platform::testing::Sandbox;

Sandbox::Options withProfile(DeviceProfile profile) {
  Sandbox::Options options;
  options.profile = std::move(profile);
  return options;
}

TEST(TunnelActiveTest, VersionsAndInterfaceNames) {
  struct Case {
    std::string version;
    std::vector<std::string> scoped;
    std::vector<std::string> interfaces;
    bool expected;
  };
  const std::vector<Case> cases = {
      {"16.4", {"en0", "pdp_ip0"}, {"utun0"}, false},  // 9 and up read only the proxy settings
      {"16.4", {"en0", "utun3"}, {}, true},
      {"16.4", {"ipsec0"}, {}, true},
      {"16.4", {"ppp0"}, {}, true},
      {"16.4", {"tap1"}, {}, true},
      {"16.4", {"TUN0"}, {}, false},  // case-sensitive
      {"16.4", {}, {"utun0"}, false},
      {"10.3.1", {"xutunx"}, {}, true},
      {"9", {"utun0"}, {}, true},
      {"8.4", {"utun0"}, {"en0", "lo0"}, false},  // below 9 read only the interface list
      {"8.4", {}, {"en0", "en0", "ppp0"}, true},
      {"beta", {"utun0"}, {"en0"}, false},  // no leading number counts as 0
      {"beta", {}, {"ipsec1"}, true},
  };
  for (const auto& c : cases) {
    DeviceProfile profile;
    profile.systemVersion = c.version;
    profile.scopedProxyInterfaces = c.scoped;
    profile.networkInterfaces = c.interfaces;
    Sandbox sandbox(withProfile(profile));
    EXPECT_EQ(QVServerConnect::isLoading(), c.expected) << c.version << " " << ::testing::PrintToString(c.scoped)
                                                        << " " << ::testing::PrintToString(c.interfaces);
  }
}

TEST(DeviceParameters, CarryTheDeviceFacts) {
  Sandbox sandbox;
  const auto p = QVServerConnect::oneInst()->callNext();
  EXPECT_EQ(p["d1"], "iPhone");
  EXPECT_EQ(p["sv"], "16.4");
  EXPECT_EQ(p["d2"], "iPhone15,2");
  EXPECT_EQ(p["lan"], "en");
  EXPECT_EQ(p["lc1"], "US");
  EXPECT_EQ(p["lc2"], "United States");
  EXPECT_EQ(p["zone"], "America/New_York");
  EXPECT_EQ(p["n1"], "0");
  ASSERT_TRUE(p["tm"].is_string());
  EXPECT_FALSE(p["tm"].get<std::string>().empty());
  EXPECT_FALSE(p.contains("ap"));
  for (const auto& [name, value] : p.items()) EXPECT_TRUE(value.is_string()) << name;
}

TEST(DeviceParameters, RegionlessLocaleOmitsBothRegionMembers) {
  DeviceProfile profile;
  profile.localeIdentifier = "fr";
  profile.scopedProxyInterfaces = {"utun1"};
  Sandbox sandbox(withProfile(profile));
  const auto p = QVServerConnect::oneInst()->callNext();
  EXPECT_FALSE(p.contains("lc1"));
  EXPECT_FALSE(p.contains("lc2"));
  EXPECT_EQ(p["n1"], "1");
  EXPECT_TRUE(p.contains("tm"));
}

TEST(DeviceParameters, TextsThatAreNotUTF8AreRepaired) {
  DeviceProfile profile;
  profile.name = "Bob\xff's phone";
  profile.machine = std::string("iPhone\xc3", 7);
  Sandbox sandbox(withProfile(profile));
  const auto p = QVServerConnect::oneInst()->callNext();
  EXPECT_EQ(p["d1"], "Bob\xef\xbf\xbd's phone");
  EXPECT_EQ(p["d2"], "iPhone\xef\xbf\xbd");
  EXPECT_TRUE(platform::isValidUTF8(p.dump()));
}

}  // namespace
