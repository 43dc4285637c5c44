#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class LocalNetworkPolicy { undetermined, granted, denied };
enum class NetworkRoute { none, wifi, cellular };

// What the simulated phone reports about itself. Defaults describe a plain phone; tests and the
// driver change what they need.
struct DeviceProfile {
  std::string name = "iPhone";
  std::string systemVersion = "16.4";
  // The machine field of the system identification; bytes, may hold zeros.
  std::string machine = "iPhone15,2";
  std::string localeIdentifier = "en_US";
  std::vector<std::string> preferredLanguages{"en-US"};
  std::string timeZone = "America/New_York";
  // Interface names under the system proxy settings' "__SCOPED__", in the order they are given.
  std::vector<std::string> scopedProxyInterfaces{"en0", "pdp_ip0"};
  // The network interface list, one entry per address; none means the host's own list.
  std::optional<std::vector<std::string>> networkInterfaces;
  // A certificate authority (PEM file) trusted beside the system's, for the loopback services.
  std::optional<std::filesystem::path> extraCertificateAuthorityFile;
  // The application's process environment (names to values).
  std::map<std::string, std::string> environment;
  // The user's local-network choice for the application, and whether the system has asked yet.
  LocalNetworkPolicy localNetworkPolicy = LocalNetworkPolicy::undetermined;
  bool localNetworkAlertShown = false;
  // The general internet route.
  NetworkRoute networkRoute = NetworkRoute::wifi;

  // The user interface.
  int userInterfaceIdiom = 0;  // phone 0, pad 1
  double screenWidth = 390, screenHeight = 844, screenScale = 3;
  bool darkAppearance = false;
  // A UUID; empty: one is made on first use and kept on the device.
  std::string identifierForVendor;
  // URL schemes of the applications installed beside this one ("fb", "mailto").
  std::vector<std::string> installedURLSchemes;
  // Whether a mail account is set up, so the mail composer can send.
  bool canSendMail = true;
  // The bundle holding the application's library classes may lack a resource directory, and
  // bundles inside it may be missing (by directory name, "X.bundle").
  bool libraryBundleHasResourceDirectory = true;
  std::vector<std::string> missingResourceBundles;
};

// The simulated phone: its storage under one directory, and its profile. What lives here
// survives a relaunch of the application.
class Device {
 public:
  // Creates the directory layout when missing and holds the directory for this object's
  // lifetime: one process at a time may use a device. Holding it, sets aside (one line each) a
  // link or the wrong kind of entry in place of the device's folders and lock file and a link in
  // place of its files, and removes the temporaries of writes whose process has ended.
  // std::runtime_error, with a one-line reason naming the directory, when it cannot be made or
  // used, another process holds it, or one of its files is there but cannot be read.
  static std::shared_ptr<Device> open(const std::filesystem::path& root, DeviceProfile profile = {});
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path keychainPath() const { return root_ / "keychain.sqlite"; }
  std::filesystem::path preferencesDirectory() const { return root_ / "Library" / "Preferences"; }
  std::filesystem::path vpnPreferencesPath() const { return root_ / "vpn-preferences.json"; }
  std::filesystem::path identifierForVendorPath() const { return root_ / "identifier-for-vendor"; }
  std::filesystem::path temporaryDirectory() const { return root_ / "tmp"; }

  DeviceProfile profile() const;
  void updateProfile(const std::function<void(DeviceProfile&)>& change);

 private:
  Device(std::filesystem::path root, DeviceProfile profile);

  std::filesystem::path root_;
  int lockFd_ = -1;
  mutable std::mutex mutex_;
  DeviceProfile profile_;
};

}  // namespace platform
