#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/network/url.h"
#include "platform/uikit/geometry.h"
#include "platform/uikit/view.h"
#include "platform/uikit/view_controller.h"

namespace platform {

// Where a share sheet points on a tablet.
class UIPopoverPresentationController {
 public:
  std::shared_ptr<UIView> sourceView() const { return sourceView_.lock(); }
  void setSourceView(const std::shared_ptr<UIView>& view) { sourceView_ = view; }
  CGRect sourceRect() const { return sourceRect_; }
  void setSourceRect(CGRect rect) { sourceRect_ = rect; }

 private:
  std::weak_ptr<UIView> sourceView_;
  CGRect sourceRect_;
};

// An application activity offered beside the system's; none are used here.
class UIActivity {
 public:
  virtual ~UIActivity() = default;
};

// The share sheet with the items it shares: address objects or texts.
class UIActivityViewController : public UIViewController {
 public:
  using Item = std::variant<URL, std::string>;

  UIActivityViewController(std::vector<Item> activityItems,
                           std::optional<std::vector<std::shared_ptr<UIActivity>>> applicationActivities);

  const std::vector<Item>& activityItems() const { return items_; }
  const std::optional<std::vector<std::shared_ptr<UIActivity>>>& applicationActivities() const { return activities_; }
  // On a tablet the sheet shows as a popover from here; on a phone it is there but unused.
  const std::shared_ptr<UIPopoverPresentationController>& popoverPresentationController() const { return popover_; }

  // On a tablet the real platform refuses a popover without a source view; the stand-in shows it
  // and says so on the console.
  void viewWillAppear(bool animated) override;

 private:
  std::vector<Item> items_;
  std::optional<std::vector<std::shared_ptr<UIActivity>>> activities_;
  std::shared_ptr<UIPopoverPresentationController> popover_ = std::make_shared<UIPopoverPresentationController>();
};

}  // namespace platform
