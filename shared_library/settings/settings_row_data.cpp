#include "shared_library/settings/settings_row_data.h"

std::optional<SettingsRowData::RowType> SettingsRowData::rowTypeWithRawValue(std::int64_t rawValue) {
  switch (rawValue) {
    case 0: return RowType::custom;
    case 1: return RowType::writeReview;
    case 2: return RowType::Rating;
    case 3: return RowType::Share;
    case 4: return RowType::ReportError;
    case 5: return RowType::RequestFeature;
    case 6: return RowType::ContactUs;
    case 7: return RowType::PrivacyPolicy;
    case 8: return RowType::TermsConditions;
    case 10: return RowType::FAQs;
    default: return std::nullopt;
  }
}

SettingsRowData::SettingsRowData(std::optional<std::string> title, std::optional<std::string> img,
                                 std::optional<platform::UIColor> backgroundColor, std::optional<RowType> rowType)
    : title(std::move(title)), img(std::move(img)), backgroundColor(backgroundColor), rowType(rowType) {}

std::shared_ptr<SettingsRowData> SettingsRowData::initWithTitle(std::optional<std::string> title,
                                                                std::optional<std::string> img,
                                                                std::optional<platform::UIColor> backgroundColor,
                                                                std::int64_t rowType) {
  return std::make_shared<SettingsRowData>(std::move(title), std::move(img), backgroundColor,
                                           rowTypeWithRawValue(rowType));
}

SettingsSectionData::SettingsSectionData(std::optional<std::string> sectionTitle,
                                         std::optional<std::vector<std::shared_ptr<SettingsRowData>>> rows)
    : sectionTitle(std::move(sectionTitle)), rows(std::move(rows)) {}
