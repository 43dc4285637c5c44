#include "app/server_cells.h"

#include "platform/foundation/console.h"
#include "vpn_core/tunnel_manager.h"

using platform::UIImage;

namespace {

constexpr const char* kTicked = "tic-selected";
constexpr const char* kUnticked = "tic-unselected";

}  // namespace

platform::UIImageRef flagImage(const std::optional<std::string>& countryCode) {
  return UIImage::imageNamed(countryCode.value_or(""));
}

void ServerListTableViewCell::connectOutlets(platform::OutletConnector& c) {
  c.outlet("serverLogoImageView", serverLogoImageView);
  c.outlet("serverNameLabel", serverNameLabel);
  c.outlet("tickStatusImage", tickStatusImage);
  c.outlet("cityNameLabel", cityNameLabel);
}

void ServerListTableViewCell::configure(const std::shared_ptr<VPNServer>& server) {
  if (!server) return;
  connected(serverNameLabel, "serverNameLabel")->setText(server->country());
  connected(serverLogoImageView, "serverLogoImageView")->setImage(flagImage(server->countryCode()));
  connected(cityNameLabel, "cityNameLabel")->setText(server->title());
  const bool current = VPNConnectionManager::shared()->currentServer() == server;
  connected(tickStatusImage, "tickStatusImage")->setImage(UIImage::imageNamed(current ? kTicked : kUnticked));
}

void ServerTableViewCell::connectOutlets(platform::OutletConnector& c) {
  c.outlet("serverLogoImageView", serverLogoImageView);
  c.outlet("serverNameLabel", serverNameLabel);
  c.outlet("tickStatusImage", tickStatusImage);
  c.outlet("cityName", cityName);
}

void ServerTableViewCell::configure(const std::shared_ptr<VPNServer>& server) {
  const bool names = server && server->isAutoSelect();
  const auto name = connected(serverNameLabel, "serverNameLabel");
  const auto logo = connected(serverLogoImageView, "serverLogoImageView");
  const auto city = connected(cityName, "cityName");
  const auto tick = connected(tickStatusImage, "tickStatusImage");
  if (names) {
    name->setText(server->country());
    logo->setImage(flagImage(server->countryCode()));
    city->setText(server->city());
  } else {
    name->setText("Fastest Server");
    logo->setImage(UIImage::imageNamed("globe"));
    city->setText("");
  }
  tick->setImage(UIImage::imageNamed(!server || server->isAutoSelect() ? kTicked : kUnticked));
}
