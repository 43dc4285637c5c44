#include <gtest/gtest.h>

#include "platform/foundation/bundle.h"
#include "platform/foundation/locale.h"
#include "platform/testing/sandbox.h"

namespace platform {
namespace {

TEST(Locale, RegionCodeAndEnglishRegionName) {
  testing::Sandbox s;
  struct Case {
    const char* locale;
    std::optional<std::string> region;
    std::optional<std::string> englishName;
  };
  const std::vector<Case> cases = {
      {"en_US", "US", "United States"},
      {"de_DE", "DE", "Germany"},
      {"fr_CA", "CA", "Canada"},
      {"en", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    auto region = Locale(c.locale).regionCode();
    EXPECT_EQ(region, c.region) << c.locale;
    if (region) {
      EXPECT_EQ(Locale("en_US").localizedStringForRegionCode(*region), c.englishName) << c.locale;
    }
  }
  EXPECT_EQ(Locale("en_US").localizedStringForRegionCode("QQ"), std::nullopt);
  EXPECT_EQ(Locale("en_US").localizedStringForRegionCode(""), std::nullopt);
  EXPECT_EQ(Locale::current().identifier(), "en_US");
  EXPECT_EQ(TimeZone::local().identifier(), "America/New_York");
}

TEST(DateFormatter, ShortDateLongTimeInTheLocalZone) {
  testing::Sandbox s;
  DateFormatter f;
  f.dateStyle = DateFormatter::Style::Short;
  f.timeStyle = DateFormatter::Style::Long;
  // 2026-06-01 19:04:05 UTC
  const Date when(std::chrono::seconds(1780340645));
  const auto text = f.stringFromDate(when);
  EXPECT_NE(text.find("6/1/26"), std::string::npos) << text;
  EXPECT_NE(text.find("3:04:05"), std::string::npos) << text;
  EXPECT_NE(text.find("EDT"), std::string::npos) << text;
  f.timeZone = TimeZone("Europe/Berlin");
  f.locale = Locale("de_DE");
  const auto german = f.stringFromDate(when);
  EXPECT_NE(german.find("01.06.26"), std::string::npos) << german;
  EXPECT_NE(german.find("21:04:05"), std::string::npos) << german;
}

TEST(Bundle, InformationAndPreferredLocalizations) {
  testing::Sandbox::Options o;
  o.bundle.localizations = {"en", "de", "pt-BR"};
  o.profile.preferredLanguages = {"fr-FR", "de-AT", "en-US"};
  testing::Sandbox s(o);
  auto b = Bundle::main();
  EXPECT_EQ(b->bundleIdentifier(), "com.orvane.vpn");
  EXPECT_EQ(b->shortVersionString(), "1.0");
  EXPECT_EQ(b->displayName(), "OrvaneVPN");
  EXPECT_EQ(b->preferredLocalizations(), (std::vector<std::string>{"de", "en"}));
  s.device().updateProfile([](DeviceProfile& p) { p.preferredLanguages = {"ja"}; });
  EXPECT_EQ(b->preferredLocalizations(), (std::vector<std::string>{"en"}));

  Bundle bare(Bundle::Config{});
  EXPECT_EQ(bare.bundleIdentifier(), std::nullopt);
  EXPECT_EQ(bare.shortVersionString(), std::nullopt);
  EXPECT_EQ(bare.resourcePath(), std::nullopt);
}

}  // namespace
}  // namespace platform
