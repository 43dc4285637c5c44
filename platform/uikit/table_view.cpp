#include "platform/uikit/table_view.h"

#include "platform/foundation/console.h"
#include "platform/foundation/queues.h"
#include "platform/uikit/storyboard.h"

namespace platform {

// UITableViewCell

const std::optional<std::string>& UITableViewCell::reuseIdentifier() const { return reuseIdentifier_; }

void UITableViewCell::setReuseIdentifier(std::optional<std::string> identifier) {
  mainThreadOnly("UITableViewCell::setReuseIdentifier");
  reuseIdentifier_ = std::move(identifier);
}

UITableViewCellAccessoryType UITableViewCell::accessoryType() const {
  mainThreadOnly("UITableViewCell::accessoryType");
  return accessory_;
}

void UITableViewCell::setAccessoryType(UITableViewCellAccessoryType type) {
  mainThreadOnly("UITableViewCell::setAccessoryType");
  accessory_ = type;
}

bool UITableViewCell::isSelected() const {
  mainThreadOnly("UITableViewCell::isSelected");
  return selected_;
}

void UITableViewCell::setSelected(bool selected, bool) {
  mainThreadOnly("UITableViewCell::setSelected");
  selected_ = selected;
}

void UITableViewCell::describeContent(std::vector<std::string>& parts) const {
  if (accessory_ == UITableViewCellAccessoryType::disclosureIndicator) parts.push_back("disclosure");
  if (accessory_ == UITableViewCellAccessoryType::checkmark) parts.push_back("checkmark");
  if (selected_) parts.push_back("selected");
}

// UITableView

std::shared_ptr<UITableViewDataSource> UITableView::dataSource() const {
  mainThreadOnly("UITableView::dataSource");
  return dataSource_.lock();
}

void UITableView::setDataSource(std::weak_ptr<UITableViewDataSource> dataSource) {
  mainThreadOnly("UITableView::setDataSource");
  dataSource_ = std::move(dataSource);
  scheduleInitialLoad();
}

void UITableView::scheduleInitialLoad() {
  if (initialLoadScheduled_ || reloads_ > 0 || dataSource_.expired()) return;
  initialLoadScheduled_ = true;
  DispatchQueue::main().async([weak = std::weak_ptr<UIView>(weak_from_this())] {
    auto table = std::static_pointer_cast<UITableView>(weak.lock());
    if (table && table->reloads_ == 0) table->reloadData();
  });
}

std::shared_ptr<UITableViewDelegate> UITableView::delegate() const {
  mainThreadOnly("UITableView::delegate");
  return delegate_.lock();
}

void UITableView::setDelegate(std::weak_ptr<UITableViewDelegate> delegate) {
  mainThreadOnly("UITableView::setDelegate");
  delegate_ = std::move(delegate);
}

void UITableView::connectOutlets(OutletConnector& connector) {
  connector.outlet("dataSource", dataSource_);
  connector.outlet("delegate", delegate_);
  scheduleInitialLoad();
}

void UITableView::registerPrototype(const std::string& reuseIdentifier, CellFactory factory) {
  mainThreadOnly("UITableView::registerPrototype");
  prototypes_[reuseIdentifier] = std::move(factory);
}

std::shared_ptr<UITableViewCell> UITableView::dequeueReusableCellWithIdentifier(const std::string& reuseIdentifier) {
  mainThreadOnly("UITableView::dequeueReusableCellWithIdentifier");
  auto& pooled = pool_[reuseIdentifier];
  if (!pooled.empty()) {
    auto cell = pooled.front();
    pooled.erase(pooled.begin());
    cell->prepareForReuse();
    return cell;
  }
  auto it = prototypes_.find(reuseIdentifier);
  if (it == prototypes_.end())
    fatalError("the table view has no prototype cell with reuse identifier \"" + reuseIdentifier + "\"");
  auto cell = it->second();
  if (!cell) fatalError("the prototype cell \"" + reuseIdentifier + "\" made no cell");
  cell->setReuseIdentifier(reuseIdentifier);
  return cell;
}

void UITableView::reloadData() {
  mainThreadOnly("UITableView::reloadData");
  auto keep = shared_from_this();
  ++reloads_;
  // the cells shown so far become reusable, oldest rows first
  for (auto& [path, cell] : cells_)
    if (cell->reuseIdentifier()) pool_[*cell->reuseIdentifier()].push_back(cell);
  cells_.clear();
  sections_.clear();
  auto source = dataSource_.lock();
  auto delegate = delegate_.lock();
  if (source) {
    const int count = std::max(0, source->numberOfSectionsInTableView(*this));
    for (int s = 0; s < count; ++s) {
      Section section;
      section.rows = std::max(0, source->numberOfRowsInSection(*this, s));
      std::optional<double> header, footer;
      if (delegate) {
        header = delegate->heightForHeaderInSection(*this, s);
        section.header = delegate->viewForHeaderInSection(*this, s);
        footer = delegate->heightForFooterInSection(*this, s);
        section.footer = delegate->viewForFooterInSection(*this, s);
      }
      section.headerHeight = header.value_or(headerHeight_);
      section.footerHeight = footer.value_or(footerHeight_);
      for (int r = 0; r < section.rows; ++r) {
        std::optional<double> height;
        if (delegate) height = delegate->heightForRowAtIndexPath(*this, {s, r});
        section.rowHeights.push_back(height.value_or(rowHeight_));
      }
      sections_.push_back(std::move(section));
    }
    for (int s = 0; s < static_cast<int>(sections_.size()); ++s) {
      for (int r = 0; r < sections_[static_cast<size_t>(s)].rows; ++r) {
        const NSIndexPath path{s, r};
        if (hiddenRows_.count(path)) continue;
        auto cell = source->cellForRowAtIndexPath(*this, path);
        if (!cell) fatalError("the table view's data source gave no cell for row " + std::to_string(r) +
                              " of section " + std::to_string(s));
        cells_[path] = std::move(cell);
      }
    }
  }
  rebuildSubviews();
}

// Subviews in reading order: the table header, then each section's header, cells and footer.
void UITableView::rebuildSubviews() {
  for (auto& v : std::vector<std::shared_ptr<UIView>>(subviews())) v->removeFromSuperview();
  double y = 0;
  auto place = [&](const std::shared_ptr<UIView>& v, double height) {
    if (!v) {
      y += height;
      return;
    }
    v->setFrame(CGRectMake(0, y, frame().size.width, height));
    y += height;
    addSubview(v);
  };
  if (tableHeader_) place(tableHeader_, tableHeader_->frame().size.height);
  for (int s = 0; s < static_cast<int>(sections_.size()); ++s) {
    const auto& section = sections_[static_cast<size_t>(s)];
    place(section.header, section.headerHeight + (s == 0 ? headerTopPadding_ : 0));
    for (int r = 0; r < section.rows; ++r) {
      auto it = cells_.find({s, r});
      place(it == cells_.end() ? nullptr : it->second, section.rowHeights[static_cast<size_t>(r)]);
    }
    place(section.footer, section.footerHeight);
  }
  if (tableFooter_) place(tableFooter_, tableFooter_->frame().size.height);
}

int UITableView::reloadCount() const {
  mainThreadOnly("UITableView::reloadCount");
  return reloads_;
}

int UITableView::numberOfSections() const {
  mainThreadOnly("UITableView::numberOfSections");
  return static_cast<int>(sections_.size());
}

int UITableView::numberOfRowsInSection(int section) const {
  mainThreadOnly("UITableView::numberOfRowsInSection");
  if (section < 0 || section >= static_cast<int>(sections_.size())) return 0;
  return sections_[static_cast<size_t>(section)].rows;
}

double UITableView::heightForRow(NSIndexPath p) const {
  mainThreadOnly("UITableView::heightForRow");
  if (p.row < 0 || p.row >= numberOfRowsInSection(p.section)) return 0;
  return sections_[static_cast<size_t>(p.section)].rowHeights[static_cast<size_t>(p.row)];
}

double UITableView::heightForHeader(int section) const {
  mainThreadOnly("UITableView::heightForHeader");
  if (section < 0 || section >= static_cast<int>(sections_.size())) return 0;
  return sections_[static_cast<size_t>(section)].headerHeight;
}

double UITableView::heightForFooter(int section) const {
  mainThreadOnly("UITableView::heightForFooter");
  if (section < 0 || section >= static_cast<int>(sections_.size())) return 0;
  return sections_[static_cast<size_t>(section)].footerHeight;
}

std::shared_ptr<UIView> UITableView::headerViewForSection(int section) const {
  mainThreadOnly("UITableView::headerViewForSection");
  if (section < 0 || section >= static_cast<int>(sections_.size())) return nullptr;
  return sections_[static_cast<size_t>(section)].header;
}

std::shared_ptr<UIView> UITableView::footerViewForSection(int section) const {
  mainThreadOnly("UITableView::footerViewForSection");
  if (section < 0 || section >= static_cast<int>(sections_.size())) return nullptr;
  return sections_[static_cast<size_t>(section)].footer;
}

std::shared_ptr<UITableViewCell> UITableView::cellForRowAtIndexPath(NSIndexPath indexPath) const {
  mainThreadOnly("UITableView::cellForRowAtIndexPath");
  auto it = cells_.find(indexPath);
  return it == cells_.end() ? nullptr : it->second;
}

std::vector<NSIndexPath> UITableView::indexPathsForVisibleRows() const {
  mainThreadOnly("UITableView::indexPathsForVisibleRows");
  std::vector<NSIndexPath> out;
  for (const auto& [path, cell] : cells_) out.push_back(path);
  return out;
}

void UITableView::selectRowAtIndexPath(NSIndexPath indexPath, bool animated) {
  mainThreadOnly("UITableView::selectRowAtIndexPath");
  if (selected_ && *selected_ != indexPath)
    if (auto old = cellForRowAtIndexPath(*selected_)) old->setSelected(false, animated);
  selected_ = indexPath;
  if (auto cell = cellForRowAtIndexPath(indexPath)) cell->setSelected(true, animated);
}

void UITableView::deselectRowAtIndexPath(NSIndexPath indexPath, bool animated) {
  mainThreadOnly("UITableView::deselectRowAtIndexPath");
  deselections_.emplace_back(indexPath, animated);
  if (selected_ == indexPath) selected_.reset();
  if (auto cell = cellForRowAtIndexPath(indexPath)) cell->setSelected(false, animated);
}

std::optional<NSIndexPath> UITableView::indexPathForSelectedRow() const {
  mainThreadOnly("UITableView::indexPathForSelectedRow");
  return selected_;
}

double UITableView::rowHeight() const { return rowHeight_; }
void UITableView::setRowHeight(double height) {
  mainThreadOnly("UITableView::setRowHeight");
  rowHeight_ = height;
}
double UITableView::sectionHeaderHeight() const { return headerHeight_; }
void UITableView::setSectionHeaderHeight(double height) {
  mainThreadOnly("UITableView::setSectionHeaderHeight");
  headerHeight_ = height;
}
double UITableView::sectionFooterHeight() const { return footerHeight_; }
void UITableView::setSectionFooterHeight(double height) {
  mainThreadOnly("UITableView::setSectionFooterHeight");
  footerHeight_ = height;
}
double UITableView::sectionHeaderTopPadding() const {
  mainThreadOnly("UITableView::sectionHeaderTopPadding");
  return headerTopPadding_;
}
void UITableView::setSectionHeaderTopPadding(double padding) {
  mainThreadOnly("UITableView::setSectionHeaderTopPadding");
  headerTopPadding_ = padding;
}
std::shared_ptr<UIView> UITableView::tableHeaderView() const {
  mainThreadOnly("UITableView::tableHeaderView");
  return tableHeader_;
}
void UITableView::setTableHeaderView(std::shared_ptr<UIView> view) {
  mainThreadOnly("UITableView::setTableHeaderView");
  tableHeader_ = std::move(view);
  rebuildSubviews();
}
std::shared_ptr<UIView> UITableView::tableFooterView() const {
  mainThreadOnly("UITableView::tableFooterView");
  return tableFooter_;
}
void UITableView::setTableFooterView(std::shared_ptr<UIView> view) {
  mainThreadOnly("UITableView::setTableFooterView");
  tableFooter_ = std::move(view);
  rebuildSubviews();
}

}  // namespace platform
