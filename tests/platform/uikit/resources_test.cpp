#include <gtest/gtest.h>

#include "platform/foundation/bundle.h"
#include "platform/testing/sandbox.h"
#include "platform/uikit/color.h"

namespace platform {
namespace {

testing::Sandbox::Options shipped(DeviceProfile profile = {}) {
  testing::Sandbox::Options o;
  o.profile = std::move(profile);
  o.bundle.resourcePath = ORVANE_RESOURCES_DIR;
  return o;
}

std::shared_ptr<Bundle> commonBundle() {
  auto library = Bundle::forLibraryClasses();
  if (!library->resourcePath()) return nullptr;
  return Bundle::bundleWithPath(*library->resourcePath() / "LKSCommon.bundle");
}

TEST(Resources, TheLibraryBundleHoldsTheCommonBundleWithItsColours) {
  testing::Sandbox s(shipped());
  auto common = commonBundle();
  ASSERT_NE(common, nullptr);
  EXPECT_EQ(common->bundleIdentifier(), "com.orvane.LKSCommon");
  EXPECT_EQ(common->objectForInfoDictionaryKey("NoSuchKey"), std::nullopt);
  for (const char* name : {"LKSTitleColor", "LKSBGColor"}) {
    auto light = UIColor::colorNamed(name, common, UITraitCollection{UIUserInterfaceStyle::light});
    auto dark = UIColor::colorNamed(name, common, UITraitCollection{UIUserInterfaceStyle::dark});
    ASSERT_TRUE(light && dark) << name;
    EXPECT_NE(*light, *dark) << name;
  }
  // not in the main bundle's own catalogue
  EXPECT_EQ(UIColor::colorNamed("LKSTitleColor"), std::nullopt);
}

TEST(Resources, TheProfileCanTakeTheCommonBundleOrTheResourceDirectoryAway) {
  DeviceProfile missing;
  missing.missingResourceBundles = {"LKSCommon.bundle"};
  {
    testing::Sandbox s(shipped(missing));
    EXPECT_NE(Bundle::forLibraryClasses()->resourcePath(), std::nullopt);
    EXPECT_EQ(commonBundle(), nullptr);
  }
  DeviceProfile bare;
  bare.libraryBundleHasResourceDirectory = false;
  testing::Sandbox s(shipped(bare));
  EXPECT_EQ(Bundle::forLibraryClasses()->resourcePath(), std::nullopt);
  EXPECT_EQ(Bundle::forLibraryClasses()->bundleIdentifier(), Bundle::main()->bundleIdentifier());
}

TEST(Resources, OnlyADirectoryOpensAsABundle) {
  testing::Sandbox s(shipped());
  EXPECT_EQ(Bundle::bundleWithPath(std::filesystem::path(ORVANE_RESOURCES_DIR) / "Nothing.bundle"), nullptr);
  EXPECT_EQ(Bundle::bundleWithPath(std::filesystem::path(ORVANE_RESOURCES_DIR) / "README.md"), nullptr);
}

}  // namespace
}  // namespace platform
