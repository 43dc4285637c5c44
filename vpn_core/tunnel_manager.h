#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
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

  // Whether an attempt of a connect is under way or still due (its second attempt included): until
  // none is, the tunnel may still come up by itself.
  bool attemptsPending() const { return attemptsPending_.load() > 0; }
  // Why the latest connect has not brought the tunnel up, as far as this manager knows: no
  // configuration could be built, the pre-shared key could not be stored, or its latest attempt
  // failed to save, load or start; none when nothing went wrong.
  std::optional<std::string> lastConnectFailure() const;

  std::shared_ptr<VPNConnectionManagerDelegate> delegate() const;
  void setDelegate(const std::shared_ptr<VPNConnectionManagerDelegate>& delegate);
  std::shared_ptr<VPNServer> currentServer() const;
  void setCurrentServer(std::shared_ptr<VPNServer> server);
  platform::NEVPNStatus vpnConnectionState() const { return vpnConnectionState_.load(); }
  const std::shared_ptr<platform::NEVPNManager>& vpnManager() const { return vpnManager_; }

  VPNConnectionManager();

 private:
  void start();
  // The configuration, or none; `why` (when given) receives why no configuration came of it, or why
  // the one built lacks its pre-shared key.
  std::shared_ptr<platform::NEVPNProtocolIKEv2> makeIKEv2Protocol(std::optional<std::string>* why);
  // Save, load and start once; `loadFailurePrefix` heads the console line of a failed load.
  void saveLoadAndStart(std::uint64_t connect, const std::shared_ptr<std::atomic<bool>>& retryPermission,
                        const char* loadFailurePrefix);
  void startTunnel(std::uint64_t connect, const std::optional<platform::Error>& loadError, const char* loadFailurePrefix);
  // An attempt of that connect has ended: failed for `failure`, started the tunnel, or done nothing.
  void attemptEnded(std::uint64_t connect, std::optional<std::string> failure, bool started = false);

  mutable std::mutex mutex_;
  std::weak_ptr<VPNConnectionManagerDelegate> delegate_;
  std::shared_ptr<VPNServer> currentServer_;
  const std::shared_ptr<platform::NEVPNManager> vpnManager_;
  std::atomic<platform::NEVPNStatus> vpnConnectionState_;
  const std::shared_ptr<platform::UserDefaults> userDefaults_;
  std::atomic<std::uint64_t> connects_{0};
  std::atomic<std::uint64_t> withdrawnUpTo_{0};
  std::atomic<int> attemptsPending_{0};
  // Of the latest connect (under mutex_): why no configuration came of it, and why its latest
  // attempt failed.
  std::uint64_t failureConnect_ = 0;
  std::optional<std::string> buildFailure_;
  std::optional<std::string> attemptFailure_;
};
