#pragma once

#include <optional>
#include <string>

namespace platform {

// Text values by account under one service, kept as generic-password items that are accessible
// after the first unlock, stay on this device, are not synchronised and have no access group.
class KeychainWrapper {
 public:
  // Under the main bundle's identifier, or the empty text when it has none.
  KeychainWrapper();
  explicit KeychainWrapper(std::string service);

  const std::string& service() const { return service_; }

  // The value of the first matching item as UTF-8 text; none when there is no item or its value
  // is not UTF-8.
  std::optional<std::string> get(const std::string& account) const;

  // Updates the item of this account, whatever its synchronisation state, to this value with the
  // wrapper's accessibility and no synchronisation; adds one when there is none. False when the
  // keychain refused the write (the items stay as they were).
  bool set(const std::string& account, const std::string& text) const;

 private:
  std::string service_;
};

}  // namespace platform
