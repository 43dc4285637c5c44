#include "shared_library/apps/app_table_view_cell.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "platform/foundation/console.h"
#include "platform/foundation/queues.h"
#include "platform/network/url.h"
#include "platform/services/image_downloader.h"
#include "platform/uikit/class_name.h"
#include "platform/uikit/storyboard.h"
#include "shared_library/support/upgrade_utils.h"

namespace {

std::string describeBundle(const platform::Bundle& bundle) {
  const auto& path = bundle.resourcePath();
  return "NSBundle <" + (path ? path->string() : std::string("(no resource directory)")) + ">";
}

// Written without the locale: always a decimal point.
std::string oneDecimal(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f", value);
  std::string out = text;
  for (auto& c : out)
    if (c == ',') c = '.';
  return out;
}

template <class T>
std::shared_ptr<T> required(const std::weak_ptr<T>& outlet, const char* name) {
  auto view = outlet.lock();
  if (!view) platform::fatalError(std::string("AppTableViewCell: the outlet ") + name + " is not connected");
  return view;
}

}  // namespace

std::shared_ptr<platform::Bundle> moduleResourceBundle(const std::string& qualifiedClassName) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= qualifiedClassName.size()) {
    const size_t dot = qualifiedClassName.find('.', start);
    const size_t end = dot == std::string::npos ? qualifiedClassName.size() : dot;
    if (end > start) parts.push_back(qualifiedClassName.substr(start, end - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  if (parts.empty())
    platform::fatalError("Couldn't determine module name from class " +
                         qualifiedClassName.substr(qualifiedClassName.rfind('.') + 1));
  const std::string& module = parts.front();
  const auto home = platform::Bundle::forLibraryClasses();
  if (const auto& resources = home->resourcePath()) {
    const auto path = *resources / (module + ".bundle");
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
      if (auto bundle = platform::Bundle::bundleWithPath(path)) return bundle;
  }
  platform::fatalError(module + ".bundle not found in " + describeBundle(*home));
}

void AppTableViewCell::connectOutlets(platform::OutletConnector& c) {
  UITableViewCell::connectOutlets(c);
  c.outlet("appIcon", appIcon);
  c.outlet("appName", appName);
  c.outlet("starRatingView", starRatingView);
  c.outlet("ratingLabel", ratingLabel);
  c.outlet("isntallOpenBtnImage", isntallOpenBtnImage);
  c.outlet("installOpenButton", installOpenButton);
  c.action("installOrOpenButtonPressed", this, &AppTableViewCell::installOrOpenButtonPressed);
}

void AppTableViewCell::configure(std::shared_ptr<NativeAppData> record) {
  // A cell handed another record must not keep the icon of the one before.
  if (record != nativeApp)
    if (auto icon = appIcon.lock()) icon->setImage(nullptr);
  nativeApp = std::move(record);
  if (!nativeApp) return;
  const auto artwork = nativeApp->artworkURL();
  if (auto icon = appIcon.lock(); icon && artwork) {
    std::weak_ptr<AppTableViewCell> weakCell =
        std::static_pointer_cast<AppTableViewCell>(shared_from_this());
    std::weak_ptr<NativeAppData> shown = nativeApp;
    platform::ImageDownloader::shared().load(
        platform::URL::URLWithString(*artwork), icon,
        [weakCell, shown, artwork](platform::UIImageRef image) {
          platform::DispatchQueue::main().async([weakCell, shown, artwork, image] {
            auto cell = weakCell.lock();
            auto record = shown.lock();
            // Reused for another row, or the address changed, since the load began.
            if (!cell || !record || cell->nativeApp != record || record->artworkURL() != artwork) return;
            if (auto view = cell->appIcon.lock()) view->setImage(image);
          });
        });
  }
  required(appName, "appName")->setText(nativeApp->name());
  required(starRatingView, "starRatingView")->setRating(nativeApp->rating());
  required(ratingLabel, "ratingLabel")->setText(oneDecimal(nativeApp->rating()));
  const auto bundle = moduleResourceBundle(std::string(kLibraryModuleName) + "." + platform::classNameOf(*this));
  const bool installed = nativeApp->isInstalled();
  const char* imageName = installed ? "open-btn-bg" : "install-btn-bg";
  auto image = platform::UIImage::imageNamed(imageName, bundle);
  if (!image) platform::fatalError(std::string("AppTableViewCell: no image ") + imageName + " in the resource bundle");
  required(isntallOpenBtnImage, "isntallOpenBtnImage")->setImage(image);
  const auto button = required(installOpenButton, "installOpenButton");
  button->setTitleColor(installed ? platform::UIColor::blackColor() : platform::UIColor::whiteColor());
  button->setTitle(installed ? "Open" : "Install");
}

void AppTableViewCell::installOrOpenButtonPressed(platform::UIControl&) {
  if (delegate.expired() || !nativeApp) return;
  if (nativeApp->isInstalled()) UpgradeUtils::openApp(nativeApp->urlScheme());
  else UpgradeUtils::openAppStorePageOfApp(nativeApp->storeID());
}
