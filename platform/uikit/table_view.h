#pragma once

#include <compare>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/uikit/view.h"

namespace platform {

namespace detail {
struct TableViewAccess;
}

struct NSIndexPath {
  int section = 0;
  int row = 0;
  static NSIndexPath indexPathForRow(int row, int section) { return {section, row}; }
  auto operator<=>(const NSIndexPath&) const = default;
};

enum class UITableViewCellAccessoryType { none = 0, disclosureIndicator = 1, detailDisclosureButton = 2, checkmark = 3 };

class UITableViewCell : public UIView {
 public:
  using UIView::UIView;
  const std::optional<std::string>& reuseIdentifier() const;
  void setReuseIdentifier(std::optional<std::string> identifier);
  UITableViewCellAccessoryType accessoryType() const;
  void setAccessoryType(UITableViewCellAccessoryType type);
  bool isSelected() const;
  virtual void setSelected(bool selected, bool animated);
  // Called when the cell is taken from the reuse pool again.
  virtual void prepareForReuse() {}

  void describeContent(std::vector<std::string>& parts) const override;

 private:
  std::optional<std::string> reuseIdentifier_;
  UITableViewCellAccessoryType accessory_ = UITableViewCellAccessoryType::none;
  bool selected_ = false;
};

class UITableView;

class UITableViewDataSource {
 public:
  virtual ~UITableViewDataSource() = default;
  virtual int numberOfSectionsInTableView(UITableView&) { return 1; }
  virtual int numberOfRowsInSection(UITableView& tableView, int section) = 0;
  virtual std::shared_ptr<UITableViewCell> cellForRowAtIndexPath(UITableView& tableView, NSIndexPath indexPath) = 0;
};

// Heights the delegate leaves to the table are the table's own (rowHeight, sectionHeaderHeight,
// sectionFooterHeight).
class UITableViewDelegate {
 public:
  virtual ~UITableViewDelegate() = default;
  virtual std::optional<double> heightForRowAtIndexPath(UITableView&, NSIndexPath) { return std::nullopt; }
  virtual std::optional<double> heightForHeaderInSection(UITableView&, int) { return std::nullopt; }
  virtual std::optional<double> heightForFooterInSection(UITableView&, int) { return std::nullopt; }
  virtual std::shared_ptr<UIView> viewForHeaderInSection(UITableView&, int) { return nullptr; }
  virtual std::shared_ptr<UIView> viewForFooterInSection(UITableView&, int) { return nullptr; }
  virtual void didSelectRowAtIndexPath(UITableView&, NSIndexPath) {}
};

// A table that asks its data source and delegate as the platform does. reloadData asks again for
// the sections, rows, heights, header and footer heights and views, and the cell of every visible
// row at once; the cells it had go back to the reuse pool first, so a reload reuses them. Cells
// are made from prototypes registered by reuse identifier (the storyboard's). Main thread only.
class UITableView : public UIView {
 public:
  using UIView::UIView;
  using CellFactory = std::function<std::shared_ptr<UITableViewCell>()>;

  std::shared_ptr<UITableViewDataSource> dataSource() const;
  void setDataSource(std::weak_ptr<UITableViewDataSource> dataSource);
  std::shared_ptr<UITableViewDelegate> delegate() const;
  void setDelegate(std::weak_ptr<UITableViewDelegate> delegate);

  void registerPrototype(const std::string& reuseIdentifier, CellFactory factory);
  // A pooled cell of that identifier or a new one; an unregistered identifier is a programming
  // error.
  std::shared_ptr<UITableViewCell> dequeueReusableCellWithIdentifier(const std::string& reuseIdentifier);
  std::shared_ptr<UITableViewCell> dequeueReusableCell(const std::string& reuseIdentifier, NSIndexPath) {
    return dequeueReusableCellWithIdentifier(reuseIdentifier);
  }

  void reloadData();
  int reloadCount() const;

  // As the last reload found them.
  int numberOfSections() const;
  int numberOfRowsInSection(int section) const;
  double heightForRow(NSIndexPath indexPath) const;
  double heightForHeader(int section) const;
  double heightForFooter(int section) const;
  std::shared_ptr<UIView> headerViewForSection(int section) const;
  std::shared_ptr<UIView> footerViewForSection(int section) const;
  // The realised cell of a visible row, or none.
  std::shared_ptr<UITableViewCell> cellForRowAtIndexPath(NSIndexPath indexPath) const;
  std::vector<NSIndexPath> indexPathsForVisibleRows() const;

  void selectRowAtIndexPath(NSIndexPath indexPath, bool animated);
  void deselectRowAtIndexPath(NSIndexPath indexPath, bool animated);
  std::optional<NSIndexPath> indexPathForSelectedRow() const;

  double rowHeight() const;
  void setRowHeight(double height);
  double sectionHeaderHeight() const;
  void setSectionHeaderHeight(double height);
  double sectionFooterHeight() const;
  void setSectionFooterHeight(double height);
  double sectionHeaderTopPadding() const;
  void setSectionHeaderTopPadding(double padding);
  std::shared_ptr<UIView> tableHeaderView() const;
  void setTableHeaderView(std::shared_ptr<UIView> view);
  std::shared_ptr<UIView> tableFooterView() const;
  void setTableFooterView(std::shared_ptr<UIView> view);

  // "dataSource" and "delegate".
  void connectOutlets(OutletConnector& connector) override;

 private:
  friend struct detail::TableViewAccess;
  struct Section {
    int rows = 0;
    double headerHeight = 0, footerHeight = 0;
    std::shared_ptr<UIView> header, footer;
    std::vector<double> rowHeights;
  };
  void rebuildSubviews();
  // Like the platform's first layout: a table given a data source loads its data at the end of
  // the current main-queue turn, unless it has been reloaded by then.
  void scheduleInitialLoad();

  std::weak_ptr<UITableViewDataSource> dataSource_;
  std::weak_ptr<UITableViewDelegate> delegate_;
  std::map<std::string, CellFactory> prototypes_;
  std::map<std::string, std::vector<std::shared_ptr<UITableViewCell>>> pool_;
  std::vector<Section> sections_;
  std::map<NSIndexPath, std::shared_ptr<UITableViewCell>> cells_;
  std::set<NSIndexPath> hiddenRows_;  // rows a test scrolled out of sight
  std::optional<NSIndexPath> selected_;
  std::vector<std::pair<NSIndexPath, bool>> deselections_;
  int reloads_ = 0;
  bool initialLoadScheduled_ = false;
  double rowHeight_ = 44, headerHeight_ = 28, footerHeight_ = 28, headerTopPadding_ = 0;
  std::shared_ptr<UIView> tableHeader_, tableFooter_;
};

}  // namespace platform
