#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/foundation/plist.h"

namespace platform {

// A user-defaults store: property-list values by key, kept in one file per suite on the device,
// written whole on every change.
class UserDefaults {
 public:
  // A larger file is damaged: far above what the application keeps here.
  static constexpr std::uintmax_t kMaximumFileBytes = 4u << 20;

  // The application's own store.
  static std::shared_ptr<UserDefaults> standard();
  // A named suite shared between applications; none for a name that cannot be a suite (empty,
  // a path, the global domain or the application's own identifier).
  static std::shared_ptr<UserDefaults> suite(const std::string& name);

  std::optional<PlistValue> objectForKey(const std::string& key) const;
  // None removes the key.
  void setObject(std::optional<PlistValue> value, const std::string& key);
  void removeObject(const std::string& key) { setObject(std::nullopt, key); }

  // Absent or not convertible: 0. Reals are truncated, Booleans give 0 or 1, texts their leading
  // integer.
  std::int64_t integerForKey(const std::string& key) const;
  void setInteger(std::int64_t value, const std::string& key);
  // Absent: false. Numbers are true when not zero; texts "YES"/"true"/a non-zero number.
  bool boolForKey(const std::string& key) const;
  void setBool(bool value, const std::string& key);
  std::optional<std::string> stringForKey(const std::string& key) const;

  PlistValue::Dictionary dictionaryRepresentation() const;

  // Loads the store's file; a damaged one (wrong content, a directory or a link in its place) is
  // kept aside with one console line, and the store starts empty. One that is there but cannot be
  // read stays untouched and is never saved over; the process is told (it cannot go on).
  explicit UserDefaults(std::filesystem::path file);

 private:
  void persistLocked();

  const std::filesystem::path file_;
  mutable std::mutex mutex_;
  PlistValue::Dictionary values_;
  bool unreadable_ = false;  // the file is there but could not be read: left as it is
};

}  // namespace platform
