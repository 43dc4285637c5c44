#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/plist.h"
#include "platform/foundation/resource_json.h"

namespace platform {

// An application or library bundle: its information dictionary (identifier, version, deployment
// constants such as service hosts) and its resource directory.
class Bundle {
 public:
  struct Config {
    PlistValue::Dictionary info;
    std::optional<std::filesystem::path> resourcePath;
    std::vector<std::string> localizations{"en"};
    std::string developmentLocalization = "en";
  };
  explicit Bundle(Config config) : config_(std::move(config)) {}

  // The current process's application bundle.
  static std::shared_ptr<Bundle> main();
  // The bundle holding the classes of the application's libraries. They are linked into the
  // application, so it is the main bundle, unless the device profile takes its resource directory
  // away.
  static std::shared_ptr<Bundle> forLibraryClasses();
  // The bundle in that directory ("Info.json" beside its resources, optional), or none when there
  // is no such directory or the device profile makes it missing.
  static std::shared_ptr<Bundle> bundleWithPath(const std::filesystem::path& directory);

  std::optional<std::string> bundleIdentifier() const { return infoString("CFBundleIdentifier"); }
  std::optional<std::string> shortVersionString() const { return infoString("CFBundleShortVersionString"); }
  // "CFBundleDisplayName", else "CFBundleName".
  std::optional<std::string> displayName() const;
  const PlistValue::Dictionary& infoDictionary() const { return config_.info; }
  std::optional<PlistValue> objectForInfoDictionaryKey(const std::string& key) const;
  // The value when it is a text, else none.
  std::optional<std::string> infoString(const std::string& key) const;
  const std::optional<std::filesystem::path>& resourcePath() const { return config_.resourcePath; }

  // The bundle's localizations in the order of the device's preferred languages; the
  // development localization when none of them fits.
  std::vector<std::string> preferredLocalizations() const;

 private:
  Config config_;
};

namespace detail {
// A bundle's "Info.json": its information dictionary, or why it is broken.
Checked<PlistValue::Dictionary> checkBundleInfo(std::string_view content);
}  // namespace detail

}  // namespace platform
