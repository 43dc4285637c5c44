#include "shared_library/support/lks_colors.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/testing/sandbox.h"
#include "platform/uikit/color.h"

namespace {

using platform::UIColor;
using platform::UITraitCollection;
using platform::UIUserInterfaceStyle;
using platform::testing::Sandbox;

Sandbox::Options shipped() {
  Sandbox::Options o;
  o.bundle.resourcePath = ORVANE_RESOURCES_DIR;
  return o;
}

std::string hex(const std::optional<UIColor>& c) {
  if (!c) return "none";
  char text[8];
  auto byte = [](double v) { return static_cast<int>(std::lround(v * 255)); };
  std::snprintf(text, sizeof text, "#%02X%02X%02X", byte(c->red()), byte(c->green()), byte(c->blue()));
  return text;
}

void setAppearance(UIUserInterfaceStyle style) { UITraitCollection::setCurrentTraitCollection(UITraitCollection{style}); }

TEST(LKSColors, NamesTheLibrarysColoursEachWithTwoVariants) {
  Sandbox s(shipped());
  const std::vector<std::pair<std::string, std::string>> names{
      {LKSColors::background(), "LKSBGColor"},
      {LKSColors::cellBackground(), "LKSCellColor"},
      {LKSColors::cellSeperator(), "LKSCellSeperatorColor"},
      {LKSColors::cellText(), "LKSCellTextColor"},
      {LKSColors::sectionHeaderText(), "LKSSectionHeaderTextColor"},
      {LKSColors::titleText(), "LKSTitleColor"},
  };
  for (const auto& [property, name] : names) {
    EXPECT_EQ(property, name);
    setAppearance(UIUserInterfaceStyle::light);
    const auto light = LKSColors::themeColorWithName(name);
    setAppearance(UIUserInterfaceStyle::dark);
    const auto dark = LKSColors::themeColorWithName(name);
    ASSERT_TRUE(light && dark) << name;
    EXPECT_NE(*light, *dark) << name;
  }
}

TEST(LKSColors, ThemeColourFollowsTheCurrentAppearance) {
  Sandbox s(shipped());
  EXPECT_EQ(hex(LKSColors::themeColorWithName(LKSColors::cellText())), "#000000");
  setAppearance(UIUserInterfaceStyle::dark);
  EXPECT_EQ(hex(LKSColors::themeColorWithName(LKSColors::cellText())), "#EBEBF5");
  EXPECT_EQ(LKSColors::themeColorWithName("LKSNoSuchColor"), std::nullopt);
  EXPECT_EQ(LKSColors::themeColorWithName(""), std::nullopt);
}

TEST(LKSColors, TheDevicesDarkAppearanceIsTheCurrentOneUnlessSet) {
  auto o = shipped();
  o.profile.darkAppearance = true;
  Sandbox s(o);
  EXPECT_EQ(hex(LKSColors::themeColorWithName(LKSColors::titleText())), "#FFFFFF");
}

TEST(LKSColors, WithoutTheLibraryBundleTheMainBundleIsAsked) {
  auto o = shipped();
  o.profile.missingResourceBundles = {"LKSCommon.bundle"};
  Sandbox s(o);
  EXPECT_EQ(LKSColors::themeColorWithName(LKSColors::titleText()), std::nullopt);

  const auto own = std::filesystem::temp_directory_path() / ("lks-colors-" + std::to_string(::getpid()));
  std::filesystem::create_directories(own);
  std::ofstream(own / "colors.json") << R"({"LKSCellTextColor": {"light": "#112233"}})";
  auto mainOnly = Sandbox::Options{};
  mainOnly.bundle.resourcePath = own;
  s.endProcess();
  {
    Sandbox other(mainOnly);
    EXPECT_EQ(hex(LKSColors::themeColorWithName(LKSColors::cellText())), "#112233");
    setAppearance(UIUserInterfaceStyle::dark);  // no dark variant: the light one serves
    EXPECT_EQ(hex(LKSColors::themeColorWithName(LKSColors::cellText())), "#112233");
  }
  std::filesystem::remove_all(own);
}

}  // namespace
