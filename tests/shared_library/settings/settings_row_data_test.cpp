#include "shared_library/settings/settings_row_data.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace {

using RowType = SettingsRowData::RowType;

TEST(RowType, RawValuesGiveTheirMembersAndNothingElse) {
  struct Case {
    std::int64_t raw;
    std::optional<RowType> type;
  } cases[] = {
      {0, RowType::custom},         {1, RowType::writeReview},     {2, RowType::Rating},
      {3, RowType::Share},          {4, RowType::ReportError},     {5, RowType::RequestFeature},
      {6, RowType::ContactUs},      {7, RowType::PrivacyPolicy},   {8, RowType::TermsConditions},
      {10, RowType::FAQs},          {9, std::nullopt},             {11, std::nullopt},
      {12, std::nullopt},           {42, std::nullopt},            {-1, std::nullopt},
      {INT64_MIN, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SettingsRowData::rowTypeWithRawValue(c.raw), c.type) << c.raw;
    if (c.type) {
      EXPECT_EQ(SettingsRowData::rawValue(*c.type), c.raw);
    }
  }
  std::unordered_set<RowType> seen{RowType::FAQs, SettingsRowData::rowTypeWithRawValue(10).value()};
  EXPECT_EQ(seen.size(), 1u);
}

TEST(SettingsRowData, KeepsWhatItIsGivenAndAnUnknownRawTypeAsNone) {
  auto typed = SettingsRowData::initWithTitle("Rate Us", "rate-us", std::nullopt, 2);
  EXPECT_EQ(typed->title, "Rate Us");
  EXPECT_EQ(typed->img, "rate-us");
  EXPECT_EQ(typed->backgroundColor, std::nullopt);  // blue only when drawn
  EXPECT_EQ(typed->rowType, RowType::Rating);
  EXPECT_EQ(SettingsRowData::initWithTitle("x", "y", platform::UIColor::redColor(), 42)->rowType, std::nullopt);

  SettingsSectionData empty("ABOUT", std::vector<std::shared_ptr<SettingsRowData>>{});
  EXPECT_EQ(empty.sectionTitle, "ABOUT");
  ASSERT_TRUE(empty.rows);
  EXPECT_TRUE(empty.rows->empty());
}

}  // namespace
