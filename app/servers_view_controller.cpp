#include "app/servers_view_controller.h"

#include <charconv>

#include "app/server_cells.h"
#include "app/server_pick.h"
#include "platform/foundation/console.h"
#include "platform/uikit/application.h"
#include "vpn_core/tunnel_manager.h"

using platform::CGRectMake;
using platform::NSIndexPath;
using platform::UIColor;
using platform::UIFont;
using platform::UILabel;
using platform::UITableView;
using platform::UIView;

namespace {

constexpr UIColor kHeaderColor{147 / 255.0, 167 / 255.0, 200 / 255.0, 1.0};

int majorVersion(const std::string& version) {
  int major = 0;
  std::from_chars(version.data(), version.data() + version.size(), major);
  return major;
}

}  // namespace

void ServersViewController::connectOutlets(platform::OutletConnector& c) {
  c.outlet("serversTableView", serversTableView);
  c.action("cancelButtonPressed", this, &ServersViewController::cancelButtonPressed);
}

std::shared_ptr<UITableView> ServersViewController::table() const {
  return connected(serversTableView, "serversTableView");
}

void ServersViewController::viewDidLoad() {
  BaseViewController::viewDidLoad();
  if (majorVersion(platform::UIDevice::currentDevice().systemVersion()) >= 15)
    table()->setSectionHeaderTopPadding(15);
  setupUI();
}

void ServersViewController::setupUI() {
  const auto servers = VPNServerManager::shared()->premiumVPNServersArray();
  // the mark is not kept: it only makes the auto row name a server when it falls on the current one
  if (auto marked = randomServer(servers)) marked->setIsAutoSelect(true);
  allServers = servers;
  setupTableData();
}

void ServersViewController::setupTableData() {
  tableData.clear();
  tableData.push_back(ServerSectionID::autoSelect);
  tableData.push_back(ServerSectionID::list);
  table()->reloadData();
}

void ServersViewController::cancelButtonPressed() { dismiss(true); }

std::optional<ServerSectionID> ServersViewController::sectionID(int section) const {
  if (section < 0 || section >= static_cast<int>(tableData.size())) return std::nullopt;
  return tableData[static_cast<size_t>(section)];
}

int ServersViewController::numberOfSectionsInTableView(UITableView&) { return static_cast<int>(tableData.size()); }

int ServersViewController::numberOfRowsInSection(UITableView&, int section) {
  if (sectionID(section) == ServerSectionID::list) return allServers ? static_cast<int>(allServers->size()) : 0;
  return 1;
}

std::shared_ptr<platform::UITableViewCell> ServersViewController::cellForRowAtIndexPath(UITableView&,
                                                                                        NSIndexPath indexPath) {
  const auto tableView = table();
  if (sectionID(indexPath.section) == ServerSectionID::list) {
    auto cell = std::dynamic_pointer_cast<ServerListTableViewCell>(
        tableView->dequeueReusableCellWithIdentifier(ServerListTableViewCell::kReuseIdentifier));
    if (!cell) platform::fatalError("the prototype ServerListTableViewCell is of another class");
    if (allServers && indexPath.row >= 0 && indexPath.row < static_cast<int>(allServers->size()))
      cell->configure((*allServers)[static_cast<size_t>(indexPath.row)]);
    return cell;
  }
  auto cell = std::dynamic_pointer_cast<ServerTableViewCell>(
      tableView->dequeueReusableCellWithIdentifier(ServerTableViewCell::kReuseIdentifier));
  if (!cell) platform::fatalError("the prototype ServerTableViewCell is of another class");
  if (sectionID(indexPath.section)) cell->configure(VPNConnectionManager::shared()->currentServer());
  return cell;
}

std::shared_ptr<UIView> ServersViewController::viewForHeaderInSection(UITableView&, int section) {
  auto header = std::make_shared<UIView>();
  header->setBackgroundColor(UIColor::whiteColor());
  if (section < 0 || section >= static_cast<int>(sectionTitles.size())) return header;
  auto title = std::make_shared<UILabel>(CGRectMake(20, 5, 200, 20));
  title->setText(sectionTitles[static_cast<size_t>(section)]);
  title->setTextColor(kHeaderColor);
  title->setFont(UIFont::systemFontOfSize(14, platform::UIFontWeight::regular));
  header->addSubview(title);
  if (section == 0) {
    auto note = std::make_shared<UILabel>(CGRectMake(100, 5, 250, 20));
    note->setText("( High Performance Server )");
    note->setTextColor({kHeaderColor.red(), kHeaderColor.green(), kHeaderColor.blue(), 0.6});
    note->setFont(UIFont::systemFontOfSize(12, platform::UIFontWeight::regular));
    header->addSubview(note);
  }
  return header;
}

std::optional<double> ServersViewController::heightForHeaderInSection(UITableView&, int) { return 30; }

std::shared_ptr<UIView> ServersViewController::viewForFooterInSection(UITableView&, int) {
  auto footer = std::make_shared<UIView>();
  footer->setBackgroundColor(UIColor::whiteColor());
  return footer;
}

std::optional<double> ServersViewController::heightForFooterInSection(UITableView&, int) { return 0.1; }

void ServersViewController::didSelectRowAtIndexPath(UITableView&, NSIndexPath indexPath) {
  const auto section = sectionID(indexPath.section);
  if (!section) return;
  std::shared_ptr<VPNServer> chosen;
  if (*section == ServerSectionID::list) {
    // a row the list does not have picks nothing rather than clearing the current server
    if (!allServers || indexPath.row < 0 || indexPath.row >= static_cast<int>(allServers->size())) return;
    chosen = (*allServers)[static_cast<size_t>(indexPath.row)];
    chosen->setIsAutoSelect(false);
  } else {
    chosen = randomServer(VPNServerManager::shared()->premiumVPNServersArray());
    if (chosen) chosen->setIsAutoSelect(true);
  }
  table()->reloadData();
  if (auto delegate = serverDelegate.lock()) delegate->didSelectServer(chosen);
  dismiss(true);
}
