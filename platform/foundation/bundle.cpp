#include "platform/foundation/bundle.h"

#include <algorithm>

#include "platform/foundation/process.h"

namespace platform {

std::shared_ptr<Bundle> Bundle::main() { return Process::current().mainBundle(); }

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
