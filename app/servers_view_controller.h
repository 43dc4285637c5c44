#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/base_view_controller.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/table_view.h"
#include "vpn_core/server_list.h"

enum class ServerSectionID : int { autoSelect = 0, list = 1 };

// Told which server the user picked in the picker (none when there was none to pick).
class ServersViewControllerDelegate {
 public:
  virtual ~ServersViewControllerDelegate() = default;
  virtual void didSelectServer(std::shared_ptr<VPNServer> server) = 0;
};

// The server picker: an "Auto Select" row and the list of servers as it was when the screen
// loaded. A pick marks the server as picked by the user or automatically, goes to the delegate,
// and closes the screen.
class ServersViewController : public BaseViewController,
                              public platform::UITableViewDataSource,
                              public platform::UITableViewDelegate {
 public:
  static constexpr const char* kStoryboardName = "Servers";
  static constexpr const char* kStoryboardIdentifier = "ServersViewController";

  void viewDidLoad() override;
  void connectOutlets(platform::OutletConnector& connector) override;
  void cancelButtonPressed();

  void setupUI();
  void setupTableData();

  int numberOfSectionsInTableView(platform::UITableView& tableView) override;
  int numberOfRowsInSection(platform::UITableView& tableView, int section) override;
  std::shared_ptr<platform::UITableViewCell> cellForRowAtIndexPath(platform::UITableView& tableView,
                                                                   platform::NSIndexPath indexPath) override;
  std::shared_ptr<platform::UIView> viewForHeaderInSection(platform::UITableView& tableView, int section) override;
  std::optional<double> heightForHeaderInSection(platform::UITableView& tableView, int section) override;
  std::shared_ptr<platform::UIView> viewForFooterInSection(platform::UITableView& tableView, int section) override;
  std::optional<double> heightForFooterInSection(platform::UITableView& tableView, int section) override;
  void didSelectRowAtIndexPath(platform::UITableView& tableView, platform::NSIndexPath indexPath) override;

  std::weak_ptr<ServersViewControllerDelegate> serverDelegate;
  std::vector<ServerSectionID> tableData;
  std::vector<std::string> sectionTitles{"Auto Select", "Servers"};
  std::optional<VPNServerList> allServers;
  std::weak_ptr<platform::UITableView> serversTableView;

 private:
  std::optional<ServerSectionID> sectionID(int section) const;
  std::shared_ptr<platform::UITableView> table() const;
};
