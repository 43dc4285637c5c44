#include <gtest/gtest.h>

#include <cstring>

#include "platform/system/system_info.h"
#include "platform/testing/sandbox.h"

namespace platform {
namespace {

TEST(SystemInfo, ReportsThePhoneNotTheHost) {
  testing::Sandbox s;
  EXPECT_EQ(UIDeviceInfo::systemVersion(), "16.4");
  EXPECT_EQ(UIDeviceInfo::name(), "iPhone");
  const auto id = systemIdentification();
  EXPECT_STREQ(id.machine.data(), "iPhone15,2");
}

TEST(SystemInfo, MachineFieldKeepsEmbeddedZerosAndEndsInZero) {
  testing::Sandbox::Options o;
  o.profile.machine = std::string("iPh\0one", 7) + std::string(300, 'x');
  testing::Sandbox s(o);
  const auto id = systemIdentification();
  EXPECT_EQ(std::memcmp(id.machine.data(), "iPh\0one", 7), 0);
  EXPECT_EQ(id.machine.back(), '\0');
}

TEST(SystemInfo, EnvironmentComesFromTheProfileNotTheHost) {
  testing::Sandbox::Options o;
  o.profile.environment = {{"SIMULATOR_MODEL_IDENTIFIER", "iPhone14,5"}, {"BAD", "a\xff"}};
  testing::Sandbox s(o);
  EXPECT_EQ(environmentValue("SIMULATOR_MODEL_IDENTIFIER"), "iPhone14,5");
  EXPECT_EQ(environmentValue("PATH"), std::nullopt);
  EXPECT_EQ(environmentValue("BAD"), "a\xEF\xBF\xBD");
}

TEST(SystemInfo, ScopedProxySettingsAreKeyedByInterface) {
  testing::Sandbox::Options o;
  o.profile.scopedProxyInterfaces = {"en0", "utun3"};
  testing::Sandbox s(o);
  auto settings = copySystemProxySettings();
  const auto* scoped = settings.at("__SCOPED__").asDictionary();
  ASSERT_TRUE(scoped);
  EXPECT_EQ(scoped->size(), 2u);
  EXPECT_TRUE(scoped->count("utun3"));
  s.device().updateProfile([](DeviceProfile& p) { p.scopedProxyInterfaces.clear(); });
  EXPECT_TRUE(copySystemProxySettings().at("__SCOPED__").asDictionary()->empty());
}

TEST(SystemInfo, InterfaceListFromTheProfileOrTheHost) {
  testing::Sandbox s;
  auto host = networkInterfaceNames();
  ASSERT_TRUE(host);
  EXPECT_NE(std::find(host->begin(), host->end(), "lo"), host->end());
  s.device().updateProfile([](DeviceProfile& p) { p.networkInterfaces = std::vector<std::string>{"en0", "en0", "ppp0"}; });
  EXPECT_EQ(networkInterfaceNames(), (std::vector<std::string>{"en0", "en0", "ppp0"}));
}

}  // namespace
}  // namespace platform
