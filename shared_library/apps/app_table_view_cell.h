#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/bundle.h"
#include "platform/uikit/control.h"
#include "platform/uikit/table_view.h"
#include "platform/uikit/view.h"
#include "shared_library/apps/native_app_data.h"
#include "shared_library/apps/star_rating_view.h"

// What a list cell knows of its screen: only that it is still there.
class AppTableCellDelegate {
 public:
  virtual ~AppTableCellDelegate() = default;
};

// The module that the library's classes belong to, and so the name of its resource bundle.
inline constexpr const char kLibraryModuleName[] = "LKSCommon";

// The resource bundle named after the class's module ("LKSCommon.bundle" for "LKSCommon.X") inside
// the bundle of the library's classes. A name without a module part or a missing bundle is a
// programming error.
std::shared_ptr<platform::Bundle> moduleResourceBundle(const std::string& qualifiedClassName);

// One of the maker's applications in the list: icon, name, stars, rating figure, and a button
// that opens the application when it is installed and shows its store page when it is not.
class AppTableViewCell : public platform::UITableViewCell {
 public:
  static constexpr const char* kReuseIdentifier = "AppTableViewCell";

  std::weak_ptr<platform::UIImageView> appIcon;
  std::weak_ptr<platform::UILabel> appName;
  std::weak_ptr<StarRatingView> starRatingView;
  std::weak_ptr<platform::UILabel> ratingLabel;
  std::weak_ptr<platform::UIImageView> isntallOpenBtnImage;
  std::weak_ptr<platform::UIButton> installOpenButton;
  std::shared_ptr<NativeAppData> nativeApp;
  std::weak_ptr<AppTableCellDelegate> delegate;

  // Shows the record; none keeps what the cell showed.
  virtual void configure(std::shared_ptr<NativeAppData> record);
  void installOrOpenButtonPressed(platform::UIControl& sender);

  void connectOutlets(platform::OutletConnector& connector) override;
};
