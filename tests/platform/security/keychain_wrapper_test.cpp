#include <gtest/gtest.h>

#include <barrier>
#include <string>
#include <thread>
#include <vector>

#include "platform/security/keychain.h"
#include "platform/security/keychain_wrapper.h"
#include "platform/testing/sandbox.h"

namespace platform {
namespace {

using testing::Sandbox;
using Dict = PlistValue::Dictionary;

Dict appItem(const std::string& service, const std::string& account) {
  return {{kSecClass, PlistValue(kSecClassGenericPassword)},
          {kSecAttrService, PlistValue(service)},
          {kSecAttrAccount, PlistValue(account)}};
}

Dict with(Dict d, const Dict& extra) {
  for (const auto& [k, v] : extra) d[k] = v;
  return d;
}

const Dict kAnySync{{kSecAttrSynchronizable, PlistValue(kSecAttrSynchronizableAny)}};

TEST(KeychainWrapper, KeepsTextByAccountUnderTheBundleServiceAcrossARelaunch) {
  Sandbox s;
  KeychainWrapper w;
  EXPECT_EQ(w.service(), "com.orvane.vpn");
  EXPECT_FALSE(w.get("index"));
  EXPECT_TRUE(w.set("index", "install-1"));
  EXPECT_TRUE(w.set("tag1", "tökén ✓"));
  EXPECT_TRUE(w.set("index", "install-2"));
  s.relaunch();
  KeychainWrapper again;
  EXPECT_EQ(again.get("index"), "install-2");
  EXPECT_EQ(again.get("tag1"), "tökén ✓");
  EXPECT_FALSE(KeychainWrapper("other.service").get("index"));

  std::optional<PlistValue> attributes;
  ASSERT_EQ(SecItemCopyMatching(with(appItem("com.orvane.vpn", "index"), {{kSecReturnAttributes, PlistValue(true)}}),
                                &attributes),
            errSecSuccess);
  EXPECT_EQ(attributes, PlistValue(with(appItem("com.orvane.vpn", "index"),
                                        {{kSecAttrAccessible, PlistValue(kSecAttrAccessibleAfterFirstUnlockThisDeviceOnly)},
                                         {kSecAttrSynchronizable, PlistValue(false)}})));
  EXPECT_EQ(SecItemDelete(with(appItem("com.orvane.vpn", "index"), kAnySync)), errSecSuccess);
  EXPECT_EQ(SecItemDelete(with(appItem("com.orvane.vpn", "index"), kAnySync)), errSecItemNotFound);  // just one
}

TEST(KeychainWrapper, WithoutABundleIdentifierTheServiceIsTheEmptyText) {
  Sandbox::Options o;
  o.bundle.info.erase("CFBundleIdentifier");
  Sandbox s(o);
  KeychainWrapper w;
  EXPECT_EQ(w.service(), "");
  EXPECT_TRUE(w.set("index", "x"));
  EXPECT_EQ(w.get("index"), "x");
  EXPECT_EQ(SecItemCopyMatching(appItem("", "index"), nullptr), errSecSuccess);
}

TEST(KeychainWrapper, ReadsNoneForBytesThatAreNotUTF8AndKeepsEmptyText) {
  Sandbox s;
  KeychainWrapper w;
  ASSERT_EQ(SecItemAdd(with(appItem(w.service(), "index"), {{kSecValueData, PlistValue(Bytes{'o', 'k', 0xff, 0xfe})}}),
                       nullptr),
            errSecSuccess);
  EXPECT_FALSE(w.get("index"));
  EXPECT_TRUE(w.set("tag1", ""));
  EXPECT_EQ(w.get("tag1"), "");
}

TEST(KeychainWrapper, WriteUpdatesASynchronisedItemInsteadOfAddingOne) {
  Sandbox s;
  KeychainWrapper w;
  std::optional<PlistValue> ref;
  ASSERT_EQ(SecItemAdd(with(appItem(w.service(), "index"), {{kSecValueData, PlistValue(toBytes("old"))},
                                                            {kSecAttrSynchronizable, PlistValue(true)},
                                                            {kSecAttrAccessible, PlistValue(kSecAttrAccessibleWhenUnlocked)},
                                                            {kSecReturnPersistentRef, PlistValue(true)}}),
                       &ref),
            errSecSuccess);
  EXPECT_FALSE(w.get("index"));  // a plain read does not see synchronised items
  EXPECT_TRUE(w.set("index", "new"));
  s.relaunch();
  EXPECT_EQ(w.get("index"), "new");

  std::optional<PlistValue> found;
  ASSERT_EQ(SecItemCopyMatching(with(appItem(w.service(), "index"), {{kSecAttrSynchronizable, PlistValue(kSecAttrSynchronizableAny)},
                                                                     {kSecReturnAttributes, PlistValue(true)},
                                                                     {kSecReturnPersistentRef, PlistValue(true)}}),
                                &found),
            errSecSuccess);
  const auto* d = found->asDictionary();
  ASSERT_TRUE(d);
  EXPECT_EQ(d->at(kSecValuePersistentRef), *ref);  // the same item
  EXPECT_EQ(d->at(kSecAttrSynchronizable), PlistValue(false));
  EXPECT_EQ(d->at(kSecAttrAccessible), PlistValue(kSecAttrAccessibleAfterFirstUnlockThisDeviceOnly));
  EXPECT_EQ(SecItemDelete(with(appItem(w.service(), "index"), kAnySync)), errSecSuccess);
  EXPECT_EQ(SecItemDelete(with(appItem(w.service(), "index"), kAnySync)), errSecItemNotFound);
}

TEST(KeychainWrapper, AWriteTheKeychainRefusesReportsFailureAndChangesNothing) {
  Sandbox s;
  KeychainWrapper w;
  // two items of the account that the write would make identical
  ASSERT_EQ(SecItemAdd(with(appItem(w.service(), "index"), {{kSecValueData, PlistValue(toBytes("a"))}}), nullptr),
            errSecSuccess);
  ASSERT_EQ(SecItemAdd(with(appItem(w.service(), "index"),
                            {{kSecValueData, PlistValue(toBytes("b"))},
                             {kSecAttrAccessible, PlistValue(kSecAttrAccessibleAfterFirstUnlockThisDeviceOnly)}}),
                       nullptr),
            errSecSuccess);
  EXPECT_FALSE(w.set("index", "c"));
  std::optional<PlistValue> value;
  ASSERT_EQ(SecItemCopyMatching(with(appItem(w.service(), "index"), {{kSecAttrAccessible, PlistValue(kSecAttrAccessibleWhenUnlocked)},
                                                                     {kSecReturnData, PlistValue(true)}}),
                                &value),
            errSecSuccess);
  EXPECT_EQ(value, PlistValue(toBytes("a")));
  EXPECT_EQ(w.get("index"), "a");  // the oldest match
}

TEST(KeychainWrapper, ConcurrentFirstWritesOfAnAccountLeaveOneItem) {
  Sandbox s;
  constexpr int kThreads = 8, kRounds = 20;
  std::barrier start(kThreads);
  std::vector<int> failures(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      KeychainWrapper w("com.orvane.vpn");
      for (int r = 0; r < kRounds; ++r) {
        start.arrive_and_wait();  // every thread writes a new account at once
        const std::string account = "account" + std::to_string(r);
        if (!w.set(account, std::to_string(t))) ++failures[static_cast<size_t>(t)];
        if (!w.get(account)) ++failures[static_cast<size_t>(t)];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int f : failures) EXPECT_EQ(f, 0);
  for (int r = 0; r < kRounds; ++r) {
    const Dict item = with(appItem("com.orvane.vpn", "account" + std::to_string(r)), kAnySync);
    EXPECT_EQ(SecItemDelete(item), errSecSuccess) << r;
    EXPECT_EQ(SecItemDelete(item), errSecItemNotFound) << r;
  }
}

}  // namespace
}  // namespace platform
