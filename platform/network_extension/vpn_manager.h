#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/error.h"
#include "platform/network_extension/vpn_protocol.h"

namespace platform {

enum class NEVPNStatus : std::int64_t {
  invalid = 0,
  disconnected = 1,
  connecting = 2,
  connected = 3,
  reasserting = 4,
  disconnecting = 5,
};

// Posted on the process's default notification centre after every change of a connection's
// status, with the connection as the object. Posts come one at a time, in the order of the
// changes, from a background worker, never the main thread; an observer reads the status itself.
inline constexpr const char* NEVPNStatusDidChangeNotification = "NEVPNStatusDidChangeNotification";

inline constexpr const char* NEVPNErrorDomain = "NEVPNErrorDomain";
enum class NEVPNError : std::int64_t {
  configurationInvalid = 1,
  configurationDisabled = 2,
  connectionFailed = 3,
  configurationReadWriteFailed = 5,
};

// What the device keeps of the application's VPN configuration.
struct NEVPNSavedConfiguration {
  std::shared_ptr<NEVPNProtocol> protocolConfiguration;  // none, or an object of its own
  std::optional<std::string> localizedDescription;
  bool enabled = false;
  bool onDemandEnabled = false;

  // Another configuration with its own copy of the protocol object.
  NEVPNSavedConfiguration copy() const;
};

namespace detail {
class VPNFacility;
}

// The application's tunnel on the device. The tunnel belongs to the device: it keeps running,
// and keeps its status, when the process ends.
//
// The status reads invalid until the manager has loaded or saved its configuration in this
// process, and while nothing is saved. A start moves it to connecting at once and, after the
// connect delay, to connected, or back to disconnected (with one console line saying why) when
// the saved configuration cannot work: not IKEv2, no server address, or a shared-secret or
// password reference that names no keychain item. A stop moves it to disconnecting at once and
// to disconnected after the disconnect delay. Safe to use from any thread.
class NEVPNConnection {
 public:
  explicit NEVPNConnection(std::shared_ptr<detail::VPNFacility> facility) : facility_(std::move(facility)) {}

  NEVPNStatus status() const;

  // False with `error` (when given) filled in when the start is refused: the configuration was
  // never loaded, nothing is saved, the saved configuration is disabled, or the system refused it.
  // While connecting, connected or reasserting: true and nothing changes.
  bool startVPNTunnelAndReturnError(Error* error);
  // Does nothing unless the tunnel is connecting, connected or reasserting.
  void stopVPNTunnel();

 private:
  std::shared_ptr<detail::VPNFacility> facility_;
};

// The application's one VPN configuration, kept in the device's VPN preferences
// (Device::vpnPreferencesPath()). Properties are safe to read and write from any thread; they
// reach the device only through a save. Completions run exactly once, after the call has
// returned and their delay has passed, on a background worker and never the main thread, one at
// a time in the order the operations were asked for; a process that ends drops those still due.
class NEVPNManager {
 public:
  using Completion = std::function<void(std::optional<Error>)>;

  // The same manager every time within a process.
  static std::shared_ptr<NEVPNManager> sharedManager();

  // Replaces every property with what the device keeps; with nothing saved they become none,
  // false and false, and the load still succeeds. A failed load changes nothing.
  void loadFromPreferences(Completion completion);
  // Stores the properties as they are at this call; `completion` may be none.
  void saveToPreferences(Completion completion = nullptr);

  std::shared_ptr<NEVPNProtocol> protocolConfiguration() const;
  void setProtocolConfiguration(std::shared_ptr<NEVPNProtocol> configuration);
  std::optional<std::string> localizedDescription() const;
  void setLocalizedDescription(std::optional<std::string> description);
  bool enabled() const;
  void setEnabled(bool enabled);
  bool onDemandEnabled() const;
  void setOnDemandEnabled(bool enabled);

  const std::shared_ptr<NEVPNConnection>& connection() const { return connection_; }

  // On the process's VPN facility; use sharedManager().
  NEVPNManager();
  NEVPNManager(const NEVPNManager&) = delete;
  NEVPNManager& operator=(const NEVPNManager&) = delete;

 private:
  std::shared_ptr<detail::VPNFacility> facility_;
  std::shared_ptr<NEVPNConnection> connection_;
};

}  // namespace platform
