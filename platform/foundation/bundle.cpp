#include "platform/foundation/bundle.h"

#include <algorithm>

#include "platform/foundation/process.h"

namespace platform {

std::shared_ptr<Bundle> Bundle::main() { return Process::current().mainBundle(); }

std::shared_ptr<Bundle> Bundle::forLibraryClasses() {
  auto main = Bundle::main();
  if (Process::current().device().profile().libraryBundleHasResourceDirectory) return main;
  Config config = main->config_;
  config.resourcePath.reset();
  return std::make_shared<Bundle>(std::move(config));
}

namespace detail {

// Texts, Booleans and numbers; the information kinds the platform has no use for here are left out.
Checked<PlistValue::Dictionary> checkBundleInfo(std::string_view content) {
  return checkResource(content, [](const nlohmann::json& root) {
    PlistValue::Dictionary info;
    for (const auto& [key, v] : object(root, "the top level").items()) {
      if (v.is_string()) info[key] = PlistValue(v.get<std::string>());
      else if (v.is_boolean()) info[key] = PlistValue(v.get<bool>());
      else if (v.is_number_integer()) info[key] = PlistValue(integer<std::int64_t>(v, quote(key)));
      else if (v.is_number()) info[key] = PlistValue(number(v, quote(key)));
    }
    return info;
  });
}

}  // namespace detail

std::shared_ptr<Bundle> Bundle::bundleWithPath(const std::filesystem::path& directory) {
  std::error_code ec;
  if (!std::filesystem::is_directory(directory, ec)) return nullptr;
  const auto missing = Process::current().device().profile().missingResourceBundles;
  if (std::find(missing.begin(), missing.end(), directory.filename().string()) != missing.end()) return nullptr;
  Config config;
  config.resourcePath = directory;
  const auto file = directory / "Info.json";
  if (auto info = detail::loadResource(file, "the bundle information " + file.string(), detail::checkBundleInfo))
    config.info = std::move(*info);
  return std::make_shared<Bundle>(std::move(config));
}

std::optional<PlistValue> Bundle::objectForInfoDictionaryKey(const std::string& key) const {
  auto it = config_.info.find(key);
  if (it == config_.info.end()) return std::nullopt;
  return it->second;
}

std::optional<std::string> Bundle::infoString(const std::string& key) const {
  auto it = config_.info.find(key);
  if (it == config_.info.end() || !it->second.asString()) return std::nullopt;
  return *it->second.asString();
}

std::optional<std::string> Bundle::displayName() const {
  if (auto n = infoString("CFBundleDisplayName")) return n;
  return infoString("CFBundleName");
}

namespace {
std::string languageOf(const std::string& tag) { return tag.substr(0, tag.find_first_of("-_")); }
}  // namespace

std::vector<std::string> Bundle::preferredLocalizations() const {
  const auto& have = config_.localizations;
  std::vector<std::string> out;
  auto add = [&](const std::string& l) {
    if (std::find(out.begin(), out.end(), l) == out.end()) out.push_back(l);
  };
  for (const auto& wanted : Process::current().device().profile().preferredLanguages) {
    // an exact match first, then the same language
    auto exact = std::find(have.begin(), have.end(), wanted);
    if (exact != have.end()) {
      add(*exact);
      continue;
    }
    for (const auto& l : have)
      if (languageOf(l) == languageOf(wanted)) add(l);
  }
  if (out.empty()) out.push_back(config_.developmentLocalization);
  return out;
}

}  // namespace platform
