#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

#include "platform/security/keychain.h"
#include "platform/testing/full_disk.h"
#include "platform/testing/sandbox.h"
#include "vpn_core/vpn_keychain_service.h"

namespace {

using platform::Bytes;
using platform::PlistValue;
using platform::toBytes;
using platform::testing::Sandbox;

// The item a reference names, checked to be the store's kind of item for `keyName`; its value.
std::optional<Bytes> valueBehind(const Bytes& ref, const std::string& keyName) {
  auto item = platform::SecItemResolvePersistentRef(ref);
  if (!item) return std::nullopt;
  // account and generic attribute come back in the kind they were given: data, not text
  EXPECT_EQ(item->at(platform::kSecAttrAccount), PlistValue(toBytes(keyName)));
  EXPECT_EQ(item->at(platform::kSecAttrGeneric), PlistValue(toBytes(keyName)));
  EXPECT_EQ(item->at(platform::kSecAttrService), PlistValue("VPN"));
  EXPECT_EQ(item->at(platform::kSecAttrAccessible), PlistValue(platform::kSecAttrAccessibleAlwaysThisDeviceOnly));
  EXPECT_EQ(item->at(platform::kSecClass), PlistValue(platform::kSecClassGenericPassword));
  return *item->at(platform::kSecValueData).asData();
}

// Removes every item the store could have made for `keyName`; how many deletes succeeded.
int deleteAll(const std::string& keyName) {
  const PlistValue::Dictionary query{{platform::kSecClass, PlistValue(platform::kSecClassGenericPassword)},
                                     {platform::kSecAttrService, PlistValue("VPN")},
                                     {platform::kSecAttrAccount, PlistValue(toBytes(keyName))}};
  int removed = 0;
  while (platform::SecItemDelete(query) == platform::errSecSuccess) ++removed;
  return removed;
}

TEST(VPNKeychainService, NeverSavedKeyGivesEmptyData) {
  Sandbox s;
  VPNKeychainService store;
  EXPECT_TRUE(store.load("pskSharedKey").empty());
  store.save("pskSharedKey", "k");
  // names match byte for byte
  EXPECT_TRUE(store.load("pskSharedkey").empty());
  EXPECT_TRUE(store.load("pskPassworkKey").empty());
}

TEST(VPNKeychainService, LoadGivesAReferenceToTheItemNotTheValue) {
  Sandbox s;
  const std::string secret = "the-pre-shared-key";
  VPNKeychainService().save("pskSharedKey", secret);
  const Bytes ref = VPNKeychainService().load("pskSharedKey");
  ASSERT_FALSE(ref.empty());
  const Bytes secretBytes = toBytes(secret);
  EXPECT_EQ(std::search(ref.begin(), ref.end(), secretBytes.begin(), secretBytes.end()), ref.end());
  EXPECT_EQ(valueBehind(ref, "pskSharedKey"), secretBytes);

  s.relaunch();
  EXPECT_EQ(VPNKeychainService().load("pskSharedKey"), ref);
  EXPECT_EQ(valueBehind(ref, "pskSharedKey"), secretBytes);
}

TEST(VPNKeychainService, SavingAgainLeavesOneItemWithTheNewValue) {
  Sandbox s;
  VPNKeychainService store;
  store.save("pskSharedKey", "a");
  const Bytes first = store.load("pskSharedKey");
  store.save("pskSharedKey", "b");
  const Bytes second = store.load("pskSharedKey");
  EXPECT_EQ(valueBehind(second, "pskSharedKey"), toBytes("b"));
  EXPECT_FALSE(platform::SecItemResolvePersistentRef(first));  // the old item is gone
  EXPECT_EQ(deleteAll("pskSharedKey"), 1);
}

TEST(VPNKeychainService, KeyNamesAreSeparateItemsEvenWithTheSameValue) {
  Sandbox s;
  VPNKeychainService store;
  store.save("pskSharedKey", "same");
  store.save("pskPassworkKey", "same");
  const Bytes shared = store.load("pskSharedKey");
  const Bytes password = store.load("pskPassworkKey");
  ASSERT_FALSE(shared.empty());
  EXPECT_NE(shared, password);

  store.save("pskSharedKey", "replaced");
  EXPECT_EQ(store.load("pskPassworkKey"), password);
  EXPECT_EQ(valueBehind(password, "pskPassworkKey"), toBytes("same"));

  EXPECT_EQ(deleteAll("pskSharedKey"), 1);
  EXPECT_TRUE(store.load("pskSharedKey").empty());
  EXPECT_EQ(store.load("pskPassworkKey"), password);
}

TEST(VPNKeychainService, EmptyValueIsStoredAsAnItemWithEmptyData) {
  Sandbox s;
  VPNKeychainService store;
  store.save("pskSharedKey", "");
  const Bytes ref = store.load("pskSharedKey");
  ASSERT_FALSE(ref.empty());
  EXPECT_EQ(valueBehind(ref, "pskSharedKey"), Bytes{});
}

// The disk fills up as the key is written: the save says why, and what was stored before stays.
TEST(VPNKeychainService, SaveTheKeychainCannotStoreSaysWhy) {
  const std::string full = "the keychain could not be read or written: database or disk is full";
  for (const bool earlier : {false, true}) {
    Sandbox s;
    platform::testing::FullDisk disk(s.device().keychainPath());
    VPNKeychainService store;
    EXPECT_EQ(store.save("pskPassworkKey", "old"), std::nullopt);
    if (earlier) store.save("pskSharedKey", "old");
    disk.fillAt("pskSharedKey");
    // with an earlier item the delete is what fails, and the add then collides with that item
    EXPECT_EQ(store.save("pskSharedKey", "new"), full) << earlier;
    EXPECT_GT(disk.failedWrites(), 0);
    const Bytes ref = store.load("pskSharedKey");
    EXPECT_EQ(ref.empty(), !earlier);
    if (earlier) {
      EXPECT_EQ(valueBehind(ref, "pskSharedKey"), toBytes("old"));
    }
  }
}

}  // namespace
