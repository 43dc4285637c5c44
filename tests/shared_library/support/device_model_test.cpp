#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/sandbox.h"
#include "shared_library/support/device_model.h"

namespace {

using LKSCommon::deviceModelName;
using LKSCommon::modelNameForIdentifier;
using platform::testing::Sandbox;

Sandbox::Options device(std::string machine, std::optional<std::string> simulated = std::nullopt) {
  Sandbox::Options o;
  o.profile.machine = std::move(machine);
  if (simulated) o.profile.environment["SIMULATOR_MODEL_IDENTIFIER"] = *simulated;
  return o;
}

TEST(DeviceModel, TableHasEveryIdentifierOnceAndItsNames) {
  std::set<std::string_view> identifiers, names;
  for (const auto& m : LKSCommon::deviceModelTable()) {
    identifiers.insert(m.identifier);
    names.insert(m.name);
  }
  EXPECT_EQ(LKSCommon::deviceModelTable().size(), 123u);
  EXPECT_EQ(identifiers.size(), 123u);
  EXPECT_EQ(names.size(), 67u);
}

TEST(DeviceModel, IdentifiersMatchExactlyOrComeBackUnchanged) {
  Sandbox s;
  const std::vector<std::pair<std::string, std::string>> cases{
      {"iPhone14,2", "iPhone 13 Pro"},
      {"iPad13,11", "iPad Pro (12.9-inch) (5th generation)"},
      {"AudioAccessory5,1", "HomePod mini"},
      {"iPhone12,8", "iPhone SE (2nd generation)"},
      {"iPod5,1", "iPod touch (5th generation)"},
      {"AppleTV6,2", "Apple TV 4K"},
      {"iPhone15,2", "iPhone15,2"},
      {"iphone14,2", "iphone14,2"},
      {"iPhone14,2 ", "iPhone14,2 "},
      {"iPhone14", "iPhone14"},
      {"", ""},
  };
  for (const auto& [identifier, name] : cases) EXPECT_EQ(modelNameForIdentifier(identifier), name) << identifier;
}

TEST(DeviceModel, SimulatorKeysNameTheSimulatedModel) {
  struct Case {
    std::optional<std::string> simulated;
    std::string name;
  };
  const std::vector<Case> cases{
      {"iPhone14,5", "Simulator iPhone 13"},
      {std::nullopt, "Simulator iOS"},
      {"iPhone99,9", "Simulator iPhone99,9"},
      {"", "Simulator "},
      // a simulated model that is itself a simulator key is taken as it stands
      {"x86_64", "Simulator x86_64"},
      {"arm64", "Simulator arm64"},
  };
  for (const auto& c : cases) {
    for (const char* key : {"i386", "x86_64", "arm64"}) {
      Sandbox s(device(key, c.simulated));
      EXPECT_EQ(modelNameForIdentifier(key), c.name) << key;
      EXPECT_EQ(deviceModelName(), c.name) << key;
    }
  }
}

TEST(DeviceModel, NameComesFromTheMachineFieldWithoutItsZeroBytes) {
  const std::vector<std::pair<std::string, std::string>> cases{
      {"iPhone14,2", "iPhone 13 Pro"},
      {std::string("iPh\0one14,\0\0" "2", 13), "iPhone 13 Pro"},
      {std::string(255, '\0'), ""},
      {"", ""},
      {"caf\xE9", "caf\xC3\xA9"},    // bytes from 0x80 are U+0080..U+00FF
      {"\x80\xFF", "\xC2\x80\xC3\xBF"},
      {std::string(300, 'a'), std::string(255, 'a')},  // the field's last byte stays zero
  };
  for (const auto& [machine, name] : cases) {
    Sandbox s(device(machine));
    EXPECT_EQ(deviceModelName(), name);
  }
}

TEST(DeviceModel, WorkedOutOncePerProcess) {
  Sandbox s(device("iPhone14,2"));
  EXPECT_EQ(deviceModelName(), "iPhone 13 Pro");
  s.device().updateProfile([](platform::DeviceProfile& p) { p.machine = "iPad8,1"; });
  EXPECT_EQ(deviceModelName(), "iPhone 13 Pro");
  s.relaunch();
  EXPECT_EQ(deviceModelName(), "iPad Pro (11-inch) (1st generation)");
}

TEST(DeviceModel, ConcurrentFirstReadsSeeOneName) {
  Sandbox s(device("iPhone10,3"));
  std::vector<std::string> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&seen, i] { seen[i] = deviceModelName(); });
  for (auto& t : threads) t.join();
  for (const auto& name : seen) EXPECT_EQ(name, "iPhone X");
}

}  // namespace
