#include "platform/foundation/user_defaults.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <stdexcept>

#include "platform/foundation/console.h"
#include "platform/foundation/files.h"
#include "platform/foundation/json.h"
#include "platform/foundation/process.h"

namespace platform {

std::shared_ptr<UserDefaults> UserDefaults::standard() {
  auto id = Bundle::main()->bundleIdentifier();
  return Process::current().defaultsSuite(id && !id->empty() ? *id : std::string(".standard"));
}

std::shared_ptr<UserDefaults> UserDefaults::suite(const std::string& name) {
  if (name.empty() || name == "NSGlobalDomain" || name.find('/') != std::string::npos || name.front() == '.' ||
      name == Bundle::main()->bundleIdentifier().value_or(std::string()))
    return nullptr;
  return Process::current().defaultsSuite(name);
}

UserDefaults::UserDefaults(std::filesystem::path file) : file_(std::move(file)) {
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(file_, ec))) return;
  std::string why;
  try {
    ReadFault fault = ReadFault::damaged;
    auto bytes = readFile(file_, {.followSymbolicLink = false, .maximumBytes = kMaximumFileBytes}, &why, &fault);
    if (!bytes && fault == ReadFault::missing) return;
    if (!bytes && fault == ReadFault::unreadable) {
      unreadable_ = true;
      Process::current().reportUnusableDeviceFile(unreadableLine(file_, why));
      return;
    }
    if (!bytes) throw std::runtime_error(why);
    auto parsed = JSONObjectWithData(*bytes);
    if (!parsed.value) throw std::runtime_error(parsed.error->localizedDescription);
    auto value = PlistValue::fromTaggedJSON(*parsed.value);
    if (!value.asDictionary()) throw std::runtime_error("top level is not a dictionary");
    values_ = std::move(*value.asDictionary());
  } catch (const std::exception& e) {
    values_.clear();
    // the next save would replace it: what the user had keeps a copy
    keepDamagedAside("User defaults", file_, e.what(), "started empty");
  }
}

std::optional<PlistValue> UserDefaults::objectForKey(const std::string& key) const {
  std::lock_guard lock(mutex_);
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

void UserDefaults::setObject(std::optional<PlistValue> value, const std::string& key) {
  std::lock_guard lock(mutex_);
  if (value) {
    values_[key] = std::move(*value);
  } else if (values_.erase(key) == 0) {
    return;
  }
  persistLocked();
}

void UserDefaults::persistLocked() {
  if (unreadable_) return;  // what the user had is still there, whole
  std::string error;
  if (!writeFileAtomically(file_, JSONDataWithObject(PlistValue(values_).toTaggedJSON()), &error))
    console("User defaults: cannot save " + file_.string() + ": " + error);
}

// Out of line: inlined into callers, the temporary trips a false uninitialised-use warning in
// sanitizer builds.
void UserDefaults::setInteger(std::int64_t value, const std::string& key) { setObject(PlistValue(value), key); }

void UserDefaults::setBool(bool value, const std::string& key) { setObject(PlistValue(value), key); }

std::int64_t UserDefaults::integerForKey(const std::string& key) const {
  auto v = objectForKey(key);
  if (!v) return 0;
  if (auto i = v->asInteger()) return *i;
  if (auto b = v->asBoolean()) return *b ? 1 : 0;
  if (auto r = v->asReal()) {
    if (!std::isfinite(*r)) return 0;
    if (*r >= 9.2e18) return std::numeric_limits<std::int64_t>::max();
    if (*r <= -9.2e18) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(*r);
  }
  if (auto s = v->asString()) {
    errno = 0;
    long long n = std::strtoll(s->c_str(), nullptr, 10);
    return errno == ERANGE ? 0 : n;
  }
  return 0;
}

bool UserDefaults::boolForKey(const std::string& key) const {
  auto v = objectForKey(key);
  if (!v) return false;
  if (auto b = v->asBoolean()) return *b;
  if (auto i = v->asInteger()) return *i != 0;
  if (auto r = v->asReal()) return *r != 0.0;
  if (auto s = v->asString()) {
    if (*s == "YES" || *s == "yes" || *s == "true" || *s == "TRUE") return true;
    return std::strtoll(s->c_str(), nullptr, 10) != 0;
  }
  return false;
}

std::optional<std::string> UserDefaults::stringForKey(const std::string& key) const {
  auto v = objectForKey(key);
  if (!v) return std::nullopt;
  if (auto s = v->asString()) return *s;
  if (auto i = v->asInteger()) return std::to_string(*i);
  return std::nullopt;
}

PlistValue::Dictionary UserDefaults::dictionaryRepresentation() const {
  std::lock_guard lock(mutex_);
  return values_;
}

}  // namespace platform
