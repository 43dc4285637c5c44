#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/device_model.h"
#include "platform/testing/sandbox.h"
#include "shared_library/support/device_model.h"

namespace {

using platform::testing::Sandbox;

TEST(AppDeviceModel, AgreesWithTheLibraryForEveryIdentifier) {
  Sandbox::Options o;
  o.profile.environment["SIMULATOR_MODEL_IDENTIFIER"] = "iPad13,16";
  Sandbox s(o);
  std::vector<std::string> identifiers{"i386", "x86_64", "arm64", "iPhone15,2", "iphone12,8", ""};
  for (const auto& m : LKSCommon::deviceModelTable()) identifiers.emplace_back(m.identifier);
  for (const auto& id : identifiers) EXPECT_EQ(OrvaneVPN::modelNameForIdentifier(id), LKSCommon::modelNameForIdentifier(id)) << id;
  EXPECT_EQ(OrvaneVPN::modelNameForIdentifier("iPhone12,8"), "iPhone SE (2nd generation)");
  EXPECT_EQ(OrvaneVPN::modelNameForIdentifier("arm64"), "Simulator iPad Air (5th generation)");
}

TEST(AppDeviceModel, HasItsOwnOneTimeValue) {
  Sandbox::Options o;
  o.profile.machine = "iPhone12,8";
  Sandbox s(o);
  EXPECT_EQ(LKSCommon::deviceModelName(), "iPhone SE (2nd generation)");
  s.device().updateProfile([](platform::DeviceProfile& p) { p.machine = "iPhone9,1"; });
  EXPECT_EQ(OrvaneVPN::deviceModelName(), "iPhone 7");  // first read of its own
  EXPECT_EQ(LKSCommon::deviceModelName(), "iPhone SE (2nd generation)");
  s.relaunch();
  EXPECT_EQ(OrvaneVPN::deviceModelName(), LKSCommon::deviceModelName());
}

}  // namespace
