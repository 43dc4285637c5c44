#include "platform/foundation/bundle.h"

#include <algorithm>

#include "platform/foundation/console.h"
#include "platform/foundation/files.h"
#include "platform/foundation/json.h"
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

namespace {

std::optional<PlistValue> infoValue(const nlohmann::json& v) {
  if (v.is_string()) return PlistValue(v.get<std::string>());
  if (v.is_boolean()) return PlistValue(v.get<bool>());
  if (v.is_number_integer()) return PlistValue(v.get<std::int64_t>());
  if (v.is_number()) return PlistValue(v.get<double>());
  return std::nullopt;
}

}  // namespace

std::shared_ptr<Bundle> Bundle::bundleWithPath(const std::filesystem::path& directory) {
  std::error_code ec;
  if (!std::filesystem::is_directory(directory, ec)) return nullptr;
  const auto missing = Process::current().device().profile().missingResourceBundles;
  if (std::find(missing.begin(), missing.end(), directory.filename().string()) != missing.end()) return nullptr;
  Config config;
  config.resourcePath = directory;
  if (auto bytes = readFile(directory / "Info.json", ReadLimits{true, 1 << 20})) {
    auto read = JSONObjectWithData(*bytes);
    if (!read.value || !read.value->is_object()) fatalError("the bundle information " + (directory / "Info.json").string() + " is not a JSON object");
    for (const auto& [key, value] : read.value->items())
      if (auto v = infoValue(value)) config.info[key] = *v;
  }
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
