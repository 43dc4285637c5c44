#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/foundation/error.h"
#include "platform/foundation/user_defaults.h"
#include "platform/network_extension/vpn_manager.h"
#include "platform/network_extension/vpn_protocol.h"
#include "vpn_core/server_list.h"

// Told after every change of the tunnel status; reads the state from the manager itself.
class VPNConnectionManagerDelegate {
 public:
  virtual ~VPNConnectionManagerDelegate() = default;
  virtual void vpnConnectionStateChanged() = 0;
};

// The application's one VPN configuration: the current server and its remembered choice, the
// IKEv2 configuration built for it, saving and starting it with one delayed second attempt, and
// the status changes passed on to the delegate.
class VPNConnectionManager : public std::enable_shared_from_this<VPNConnectionManager> {
 public:
  static constexpr const char* kSavedServerKey = "vpnAddress";
  static constexpr const char* kLocalIdentifier = "OrvaneVPN";
  static constexpr const char* kSharedSecretKeyName = "pskSharedKey";
  static constexpr const char* kPasswordKeyName = "pskPassworkKey";
  static constexpr double kSecondAttemptDelay = 0.5;

  static std::shared_ptr<VPNConnectionManager> shared();

  // Makes the server current, remembers it, and when a configuration can be built for it saves
  // it and starts the tunnel; a second attempt follows 0.5 s later if the tunnel is still down.
  void connectToServer(std::shared_ptr<VPNServer> server);
  // Withdraws the pending second attempt of every connect so far; for when the tunnel is stopped.
  void withdrawPendingAttempts();
  void checkVPNConnectionState();
  void serversLoaded();
  std::shared_ptr<VPNServer> loadSavedServer();
  void saveCurrentServer();
  std::shared_ptr<platform::NEVPNProtocolIKEv2> makeIKEv2Protocol();

  std::shared_ptr<VPNConnectionManagerDelegate> delegate() const;
  void setDelegate(const std::shared_ptr<VPNConnectionManagerDelegate>& delegate);
  std::shared_ptr<VPNServer> currentServer() const;
  void setCurrentServer(std::shared_ptr<VPNServer> server);
  platform::NEVPNStatus vpnConnectionState() const { return vpnConnectionState_.load(); }
  const std::shared_ptr<platform::NEVPNManager>& vpnManager() const { return vpnManager_; }

  VPNConnectionManager();

 private:
  void start();
  // Save, load and start once; `loadFailurePrefix` heads the console line of a failed load.
  void saveLoadAndStart(const std::shared_ptr<std::atomic<bool>>& retryPermission, const char* loadFailurePrefix);
  void startTunnel(const std::optional<platform::Error>& loadError, const char* loadFailurePrefix);

  mutable std::mutex mutex_;
  std::weak_ptr<VPNConnectionManagerDelegate> delegate_;
  std::shared_ptr<VPNServer> currentServer_;
  const std::shared_ptr<platform::NEVPNManager> vpnManager_;
  std::atomic<platform::NEVPNStatus> vpnConnectionState_;
  const std::shared_ptr<platform::UserDefaults> userDefaults_;
  std::atomic<std::uint64_t> connects_{0};
  std::atomic<std::uint64_t> withdrawnUpTo_{0};
};
