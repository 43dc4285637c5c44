#include "shared_library/settings/settings_cell.h"

#include "platform/foundation/bundle.h"
#include "platform/foundation/console.h"
#include "platform/services/feedback.h"
#include "platform/uikit/storyboard.h"

using platform::NSIndexPath;
using platform::UIColor;
using platform::UIImage;
using platform::UIImageRenderingMode;
using platform::UIImageSymbolConfiguration;
using platform::UIImageSymbolWeight;

namespace {

template <class T>
std::shared_ptr<T> connected(const std::weak_ptr<T>& outlet, const char* name) {
  auto view = outlet.lock();
  if (!view) platform::fatalError(std::string("the settings outlet ") + name + " is not connected");
  return view;
}

}  // namespace

platform::UIImageRef makeSettingsIcon(const std::string& imageName, UIColor tileColor) {
  const auto small = UIImageSymbolConfiguration::configurationWithPointSize(16, UIImageSymbolWeight::regular);
  std::shared_ptr<const UIImage> glyph;
  if (auto image = UIImage::imageNamed(imageName, platform::Bundle::main(), small))
    glyph = image->imageWithTintColor(UIColor::whiteColor(), UIImageRenderingMode::alwaysOriginal);

  const auto large = UIImageSymbolConfiguration::configurationWithPointSize(32, UIImageSymbolWeight::regular);
  const auto symbol = UIImage::systemImageNamed("app.fill", large);
  if (!symbol) platform::fatalError("the system symbol app.fill is missing");
  const auto tile = symbol->imageWithTintColor(tileColor, UIImageRenderingMode::alwaysOriginal);
  const auto size = tile->size();

  platform::UIGraphicsBeginImageContextWithOptions(size, false, 0);
  tile->drawInRect(platform::CGRectMake(0, 0, size.width, size.height));
  if (glyph) {
    const auto g = glyph->size();
    glyph->drawInRect(
        platform::CGRectMake((size.width - g.width) * 0.5, (size.height - g.height) * 0.5, g.width, g.height));
  }
  auto icon = platform::UIGraphicsGetImageFromCurrentImageContext();
  platform::UIGraphicsEndImageContext();
  return icon;
}

// SettingsInfoCell

void SettingsInfoCell::connectOutlets(platform::OutletConnector& connector) {
  UITableViewCell::connectOutlets(connector);
  connector.outlet("titleLabel", titleLabel);
  connector.outlet("SPImage", SPImage);
  connector.outlet("badgeLabel", badgeLabel);
}

void SettingsInfoCell::configure(const SettingsRowData& row) {
  auto image = connected(SPImage, "SPImage");
  auto title = connected(titleLabel, "titleLabel");
  auto badge = connected(badgeLabel, "badgeLabel");
  image->setImage(makeSettingsIcon(row.img.value_or(""), row.backgroundColor.value_or(UIColor::blueColor())));
  title->setText(row.title.value_or(""));
  badge->setHidden(true);
}

// SettingsCell

void SettingsCell::connectOutlets(platform::OutletConnector& connector) {
  UITableViewCell::connectOutlets(connector);
  connector.outlet("tableView", tableView);
  connector.outlet("roundedView", roundedView);
  connector.outlet("sectionNameLabel", sectionNameLabel);
}

void SettingsCell::awakeFromNib() {
  UITableViewCell::awakeFromNib();
  auto table = connected(tableView, "tableView");
  auto rounded = connected(roundedView, "roundedView");
  auto self = std::static_pointer_cast<SettingsCell>(shared_from_this());
  table->setDelegate(std::static_pointer_cast<platform::UITableViewDelegate>(self));
  table->setDataSource(std::static_pointer_cast<platform::UITableViewDataSource>(self));
  rounded->layer().cornerCurve = platform::CALayerCornerCurve::continuous;
  table->setTableHeaderView(std::make_shared<platform::UIView>());
  table->setTableFooterView(std::make_shared<platform::UIView>());
}

void SettingsCell::reloadTableView() { connected(tableView, "tableView")->reloadData(); }

int SettingsCell::numberOfRowsInSection(platform::UITableView&, int) {
  return data ? static_cast<int>(data->size()) : 0;
}

std::shared_ptr<platform::UITableViewCell> SettingsCell::cellForRowAtIndexPath(platform::UITableView& table,
                                                                               NSIndexPath indexPath) {
  auto reused = table.dequeueReusableCellWithIdentifier("SettingsInfoCell");
  auto cell = std::dynamic_pointer_cast<SettingsInfoCell>(reused);
  if (!cell) platform::fatalError("the settings prototype SettingsInfoCell is not a SettingsInfoCell");
  if (!data || indexPath.row < 0 || indexPath.row >= static_cast<int>(data->size())) return cell;
  const auto& row = (*data)[static_cast<size_t>(indexPath.row)];
  cell->configure(*row);
  cell->setAccessoryType(platform::UITableViewCellAccessoryType::none);
  if (row->rowType == SettingsRowData::RowType::custom)
    cell->setAccessoryType(platform::UITableViewCellAccessoryType::disclosureIndicator);
  return cell;
}

void SettingsCell::didSelectRowAtIndexPath(platform::UITableView& table, NSIndexPath indexPath) {
  table.deselectRowAtIndexPath(indexPath, true);
  if (!data || indexPath.row < 0 || indexPath.row >= static_cast<int>(data->size())) return;
  const auto row = (*data)[static_cast<size_t>(indexPath.row)];
  if (!row->rowType) return;
  // copies: a handler may reload the screen's table, which refills this card's slots
  auto call = [](std::function<void()> handler) {
    if (handler) handler();
  };
  auto contact = [handler = contactUsRowTappedHandler](ContactType kind) {
    if (handler) handler(kind);
  };
  using RowType = SettingsRowData::RowType;
  switch (*row->rowType) {
    case RowType::custom:
      if (auto handler = customRowTappedHandler) handler(row);
      break;
    case RowType::writeReview: call(writeReviewRowTappedHandler); break;
    case RowType::Rating: platform::SKStoreReviewController::requestReview(); break;
    case RowType::Share: call(shareRowTappedHandler); break;
    case RowType::ReportError: contact(ContactType::reportError); break;
    case RowType::RequestFeature: contact(ContactType::newFeature); break;
    case RowType::ContactUs: contact(ContactType::contactUs); break;
    case RowType::PrivacyPolicy: call(privacyPolicyRowTappedHandler); break;
    case RowType::TermsConditions: call(termConditionsRowTappedHandler); break;
    case RowType::FAQs: call(FAQsRowTappedHandler); break;
  }
}
