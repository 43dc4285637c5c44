#pragma once

#include <memory>

#include "app/outlets.h"
#include "platform/uikit/storyboard.h"
#include "platform/uikit/table_view.h"
#include "vpn_core/server_list.h"

// One server of the picker's list: flag, country, title, and a tick when it is the current
// server itself.
class ServerListTableViewCell : public platform::UITableViewCell {
 public:
  static constexpr const char* kReuseIdentifier = "ServerListTableViewCell";

  // None leaves the cell as it was.
  void configure(const std::shared_ptr<VPNServer>& server);

  void connectOutlets(platform::OutletConnector& connector) override;

  std::weak_ptr<platform::UIImageView> serverLogoImageView;
  std::weak_ptr<platform::UILabel> serverNameLabel;
  std::weak_ptr<platform::UIImageView> tickStatusImage;
  std::weak_ptr<platform::UILabel> cityNameLabel;
};

// The "Auto Select" row: the automatically picked current server, or "Fastest Server".
class ServerTableViewCell : public platform::UITableViewCell {
 public:
  static constexpr const char* kReuseIdentifier = "ServerTableViewCell";

  void configure(const std::shared_ptr<VPNServer>& server);

  void connectOutlets(platform::OutletConnector& connector) override;

  std::weak_ptr<platform::UIImageView> serverLogoImageView;
  std::weak_ptr<platform::UILabel> serverNameLabel;
  std::weak_ptr<platform::UIImageView> tickStatusImage;
  std::weak_ptr<platform::UILabel> cityName;
};

// The flag of a country code: the catalogue image under exactly that key, so a code can never
// name a file.
platform::UIImageRef flagImage(const std::optional<std::string>& countryCode);
