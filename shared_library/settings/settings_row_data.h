#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/uikit/color.h"

// One row of the settings screen. The row type alone decides what a tap does.
class SettingsRowData {
 public:
  enum class RowType : std::int64_t {
    custom = 0,
    writeReview = 1,
    Rating = 2,
    Share = 3,
    ReportError = 4,
    RequestFeature = 5,
    ContactUs = 6,
    PrivacyPolicy = 7,
    TermsConditions = 8,
    FAQs = 10,
  };
  // The member with this raw value; none for any other integer.
  static std::optional<RowType> rowTypeWithRawValue(std::int64_t rawValue);
  static std::int64_t rawValue(RowType type) { return static_cast<std::int64_t>(type); }

  SettingsRowData(std::optional<std::string> title, std::optional<std::string> img,
                  std::optional<platform::UIColor> backgroundColor, std::optional<RowType> rowType);
  // For callers that hold the type as a number: an unknown one leaves the row without a type.
  static std::shared_ptr<SettingsRowData> initWithTitle(std::optional<std::string> title,
                                                        std::optional<std::string> img,
                                                        std::optional<platform::UIColor> backgroundColor,
                                                        std::int64_t rowType);

  std::optional<std::string> title;
  // An image of the application's own catalogue, drawn white on the tile.
  std::optional<std::string> img;
  // The tile's colour; none: the platform's blue, chosen when the tile is drawn.
  std::optional<platform::UIColor> backgroundColor;
  // None: no tap action and no accessory.
  std::optional<RowType> rowType;
};

// A titled card of rows.
class SettingsSectionData {
 public:
  SettingsSectionData(std::optional<std::string> sectionTitle,
                      std::optional<std::vector<std::shared_ptr<SettingsRowData>>> rows);

  std::optional<std::string> sectionTitle;
  std::optional<std::vector<std::shared_ptr<SettingsRowData>>> rows;
};
