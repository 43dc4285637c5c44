#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/foundation/files.h"
#include "platform/security/keychain.h"
#include "platform/testing/sandbox.h"
#include "platform/testing/unprivileged.h"

namespace platform {
namespace {

namespace fs = std::filesystem;
using testing::Sandbox;
using Dict = PlistValue::Dictionary;

Dict with(Dict d, const Dict& extra) {
  for (const auto& [k, v] : extra) d[k] = v;
  return d;
}

// The dictionary the pre-shared-key store builds: byte account and generic attribute.
Dict pskItem(const std::string& name) {
  return {{kSecClass, PlistValue(kSecClassGenericPassword)},
          {kSecAttrGeneric, PlistValue(toBytes(name))},
          {kSecAttrAccount, PlistValue(toBytes(name))},
          {kSecAttrService, PlistValue("VPN")},
          {kSecAttrAccessible, PlistValue(kSecAttrAccessibleAlwaysThisDeviceOnly)}};
}
Dict pskSave(const std::string& name, const std::string& value) {
  return with(pskItem(name), {{kSecValueData, PlistValue(toBytes(value))}});
}
Dict pskLoad(const std::string& name) {
  return with(pskItem(name), {{kSecMatchLimit, PlistValue(kSecMatchLimitOne)}, {kSecReturnPersistentRef, PlistValue(true)}});
}
Dict returning(const Dict& query, const char* what) {
  return with(query, {{kSecMatchLimit, PlistValue(kSecMatchLimitOne)}, {what, PlistValue(true)}});
}

// Delete, then add the same dictionary, as the pre-shared-key store saves.
void save(const std::string& name, const std::string& value) {
  SecItemDelete(pskSave(name, value));
  ASSERT_EQ(SecItemAdd(pskSave(name, value), nullptr), errSecSuccess);
}

std::optional<Bytes> load(const std::string& name) {
  std::optional<PlistValue> result;
  if (SecItemCopyMatching(pskLoad(name), &result) != errSecSuccess || !result || !result->asData()) return std::nullopt;
  return *result->asData();
}

std::optional<Bytes> valueOf(const Dict& query) {
  std::optional<PlistValue> result;
  if (SecItemCopyMatching(returning(query, kSecReturnData), &result) != errSecSuccess || !result) return std::nullopt;
  return *result->asData();
}

enum class Op { Add, Delete, Copy };
struct Step {
  Op op;
  Dict dict;
  OSStatus expected;
};

TEST(Keychain, IdentityMatchingAndPersistence) {
  const Dict appItem{{kSecClass, PlistValue(kSecClassGenericPassword)},
                     {kSecAttrService, PlistValue("svc")},
                     {kSecAttrAccount, PlistValue("index")}};
  const Dict sameAsBytes{{kSecClass, PlistValue(kSecClassGenericPassword)},
                         {kSecAttrService, PlistValue(toBytes("svc"))},
                         {kSecAttrAccount, PlistValue(toBytes("index"))}};
  const Dict synced = with(pskSave("k", "v"), {{kSecAttrSynchronizable, PlistValue(true)}});
  const Dict anySync = with(pskItem("k"), {{kSecAttrSynchronizable, PlistValue(kSecAttrSynchronizableAny)}});
  const Dict onlyClass{{kSecClass, PlistValue(kSecClassGenericPassword)}};

  const std::vector<std::pair<std::string, std::vector<Step>>> cases = {
      {"a never-saved item is not found",
       {{Op::Copy, pskLoad("pskSharedKey"), errSecItemNotFound}, {Op::Delete, pskItem("pskSharedKey"), errSecItemNotFound}}},
      {"an added item is found after a relaunch",
       {{Op::Add, pskSave("pskSharedKey", "k1"), errSecSuccess}, {Op::Copy, pskLoad("pskSharedKey"), errSecSuccess}}},
      {"the same identity twice is a duplicate whatever the value",
       {{Op::Add, pskSave("pskSharedKey", "k1"), errSecSuccess},
        {Op::Add, pskSave("pskSharedKey", "k2"), errSecDuplicateItem}}},
      {"a delete carrying another value still removes the item",
       {{Op::Add, pskSave("pskSharedKey", "k1"), errSecSuccess},
        {Op::Delete, pskSave("pskSharedKey", "other"), errSecSuccess},
        {Op::Copy, pskLoad("pskSharedKey"), errSecItemNotFound},
        {Op::Add, pskSave("pskSharedKey", "k2"), errSecSuccess}}},
      {"byte accounts are case-sensitive",
       {{Op::Add, pskSave("pskSharedKey", "k1"), errSecSuccess},
        {Op::Copy, with(pskLoad("pskSharedKey"), {{kSecAttrAccount, PlistValue(toBytes("pskSharedkey"))}}),
         errSecItemNotFound},
        {Op::Add, with(pskSave("pskSharedKey", "k1"), {{kSecAttrAccount, PlistValue(toBytes("PSKSHAREDKEY"))}}),
         errSecSuccess}}},
      {"two key names holding the same value are separate items",
       {{Op::Add, pskSave("pskSharedKey", "same"), errSecSuccess},
        {Op::Add, pskSave("pskPassworkKey", "same"), errSecSuccess},
        {Op::Delete, pskItem("pskSharedKey"), errSecSuccess},
        {Op::Copy, pskLoad("pskPassworkKey"), errSecSuccess},
        {Op::Copy, pskLoad("pskSharedKey"), errSecItemNotFound}}},
      {"service, generic attribute, accessibility and access group tell items apart",
       {{Op::Add, pskSave("k", "v"), errSecSuccess},
        {Op::Add, with(pskSave("k", "v"), {{kSecAttrService, PlistValue("vpn")}}), errSecSuccess},
        {Op::Add, with(pskSave("k", "v"), {{kSecAttrGeneric, PlistValue(toBytes("other"))}}), errSecSuccess},
        {Op::Add,
         with(pskSave("k", "v"), {{kSecAttrAccessible, PlistValue(kSecAttrAccessibleAfterFirstUnlockThisDeviceOnly)}}),
         errSecSuccess},
        {Op::Add, with(pskSave("k", "v"), {{kSecAttrAccessGroup, PlistValue("group.a")}}), errSecSuccess},
        {Op::Copy, with(pskLoad("k"), {{kSecAttrGeneric, PlistValue(toBytes("unknown"))}}), errSecItemNotFound},
        {Op::Delete, with(pskItem("k"), {{kSecAttrAccessGroup, PlistValue("group.a")}}), errSecSuccess},
        {Op::Copy, with(pskLoad("k"), {{kSecAttrAccessGroup, PlistValue("group.a")}}), errSecItemNotFound},
        {Op::Copy, pskLoad("k"), errSecSuccess}}},
      {"attributes a query leaves out match anything",
       {{Op::Add, pskSave("pskSharedKey", "a"), errSecSuccess},
        {Op::Add, pskSave("pskPassworkKey", "b"), errSecSuccess},
        {Op::Copy, with(onlyClass, {{kSecAttrService, PlistValue("VPN")}}), errSecSuccess},
        {Op::Delete, onlyClass, errSecSuccess},
        {Op::Copy, pskLoad("pskSharedKey"), errSecItemNotFound},
        {Op::Copy, pskLoad("pskPassworkKey"), errSecItemNotFound}}},
      {"text and data of the same bytes are one attribute",
       {{Op::Add, appItem, errSecSuccess},
        {Op::Copy, sameAsBytes, errSecSuccess},
        {Op::Add, sameAsBytes, errSecDuplicateItem},
        {Op::Delete, sameAsBytes, errSecSuccess},
        {Op::Copy, appItem, errSecItemNotFound}}},
      {"synchronised items are seen only when asked for",
       {{Op::Add, synced, errSecSuccess},
        {Op::Copy, pskLoad("k"), errSecItemNotFound},
        {Op::Copy, with(pskLoad("k"), {{kSecAttrSynchronizable, PlistValue(false)}}), errSecItemNotFound},
        {Op::Copy, with(pskLoad("k"), {{kSecAttrSynchronizable, PlistValue(true)}}), errSecSuccess},
        {Op::Copy, anySync, errSecSuccess},
        {Op::Add, pskSave("k", "v"), errSecSuccess},  // its unsynchronised twin
        {Op::Add, synced, errSecDuplicateItem},
        {Op::Delete, anySync, errSecSuccess},
        {Op::Copy, anySync, errSecItemNotFound}}},
  };

  for (const auto& [name, steps] : cases) {
    Sandbox s;
    for (size_t i = 0; i < steps.size(); ++i) {
      if (i > 0) s.relaunch();
      const auto& step = steps[i];
      std::optional<PlistValue> result;
      const OSStatus status = step.op == Op::Add      ? SecItemAdd(step.dict, nullptr)
                              : step.op == Op::Delete ? SecItemDelete(step.dict)
                                                      : SecItemCopyMatching(step.dict, &result);
      EXPECT_EQ(status, step.expected) << name << ", step " << i;
    }
    EXPECT_TRUE(s.consoleLines().empty()) << name;
  }
}

TEST(Keychain, SavingAgainLeavesOneItemWithTheNewValueAndEmptyValuesAreKept) {
  Sandbox s;
  save("pskSharedKey", "a");
  save("pskSharedKey", "b");
  save("pskPassworkKey", "");
  s.relaunch();
  EXPECT_EQ(valueOf(pskItem("pskSharedKey")), toBytes("b"));
  EXPECT_EQ(valueOf(pskItem("pskPassworkKey")), Bytes{});
  EXPECT_EQ(SecItemDelete(pskItem("pskSharedKey")), errSecSuccess);
  EXPECT_EQ(SecItemDelete(pskItem("pskSharedKey")), errSecItemNotFound);  // there was only one
  EXPECT_EQ(valueOf(pskItem("pskPassworkKey")), Bytes{});
}

TEST(Keychain, CopyMatchingGivesWhatWasAskedFor) {
  Sandbox s;
  ASSERT_EQ(SecItemAdd(pskSave("pskSharedKey", "secret"), nullptr), errSecSuccess);
  const Dict query = pskItem("pskSharedKey");
  std::optional<PlistValue> result;

  ASSERT_EQ(SecItemCopyMatching(returning(query, kSecReturnData), &result), errSecSuccess);
  EXPECT_EQ(result, PlistValue(toBytes("secret")));

  ASSERT_EQ(SecItemCopyMatching(returning(query, kSecReturnAttributes), &result), errSecSuccess);
  // every attribute comes back in the kind it was given
  const Dict attributes = with(pskItem("pskSharedKey"), {{kSecAttrSynchronizable, PlistValue(false)}});
  EXPECT_EQ(result, PlistValue(attributes));

  ASSERT_EQ(SecItemCopyMatching(returning(query, kSecReturnPersistentRef), &result), errSecSuccess);
  ASSERT_TRUE(result && result->asData());
  const Bytes ref = *result->asData();

  ASSERT_EQ(SecItemCopyMatching(with(returning(query, kSecReturnData), {{kSecReturnPersistentRef, PlistValue(true)}}),
                                &result),
            errSecSuccess);
  EXPECT_EQ(result, PlistValue(Dict{{kSecValueData, PlistValue(toBytes("secret"))}, {kSecValuePersistentRef, PlistValue(ref)}}));

  ASSERT_EQ(SecItemCopyMatching(with(returning(query, kSecReturnAttributes), {{kSecReturnData, PlistValue(true)}}),
                                &result),
            errSecSuccess);
  EXPECT_EQ(result, PlistValue(with(attributes, {{kSecValueData, PlistValue(toBytes("secret"))}})));

  // nothing asked: a status and no result; no out-parameter is fine too
  result = PlistValue("stale");
  EXPECT_EQ(SecItemCopyMatching(query, &result), errSecSuccess);
  EXPECT_FALSE(result);
  EXPECT_EQ(SecItemCopyMatching(returning(query, kSecReturnData), nullptr), errSecSuccess);
  result = PlistValue("stale");
  EXPECT_EQ(SecItemCopyMatching(returning(pskItem("missing"), kSecReturnData), &result), errSecItemNotFound);
  EXPECT_FALSE(result);

  // an add can hand back the new item's reference
  ASSERT_EQ(SecItemAdd(with(pskSave("pskPassworkKey", "x"), {{kSecReturnPersistentRef, PlistValue(true)}}), &result),
            errSecSuccess);
  ASSERT_TRUE(result && result->asData());
  EXPECT_EQ(load("pskPassworkKey"), *result->asData());
}

TEST(Keychain, PersistentRefIsNotTheSecretAndResolvesAfterARelaunch) {
  Sandbox s;
  const std::string secret = "the-pre-shared-secret";
  save("pskSharedKey", secret);
  save("pskPassworkKey", secret);
  const auto ref = load("pskSharedKey");
  ASSERT_TRUE(ref);
  ASSERT_FALSE(ref->empty());
  const Bytes secretBytes = toBytes(secret);
  EXPECT_EQ(std::search(ref->begin(), ref->end(), secretBytes.begin(), secretBytes.end()), ref->end());
  EXPECT_NE(load("pskPassworkKey"), ref);
  EXPECT_EQ(load("pskSharedKey"), ref);

  s.relaunch();
  EXPECT_EQ(load("pskSharedKey"), ref);
  auto item = SecItemResolvePersistentRef(*ref);
  ASSERT_TRUE(item);
  EXPECT_EQ(item->at(kSecValueData), PlistValue(secretBytes));
  EXPECT_EQ(item->at(kSecAttrAccount), PlistValue(toBytes("pskSharedKey")));
  EXPECT_EQ(item->at(kSecAttrService), PlistValue("VPN"));

  // an update keeps the item and so its reference
  ASSERT_EQ(SecItemUpdate(pskItem("pskSharedKey"), {{kSecValueData, PlistValue(toBytes("rotated"))}}), errSecSuccess);
  EXPECT_EQ(load("pskSharedKey"), ref);
  EXPECT_EQ(SecItemResolvePersistentRef(*ref)->at(kSecValueData), PlistValue(toBytes("rotated")));

  // a saved-again item is a new item; the old reference names nothing
  save("pskSharedKey", "next");
  const auto next = load("pskSharedKey");
  ASSERT_TRUE(next);
  EXPECT_NE(next, ref);
  EXPECT_FALSE(SecItemResolvePersistentRef(*ref));
  EXPECT_EQ(SecItemResolvePersistentRef(*next)->at(kSecValueData), PlistValue(toBytes("next")));
  EXPECT_FALSE(SecItemResolvePersistentRef(Bytes{}));
  EXPECT_FALSE(SecItemResolvePersistentRef(secretBytes));
}

TEST(Keychain, UpdateChangesEveryMatchAndRefusesACollision) {
  Sandbox s;
  save("pskSharedKey", "a");
  save("pskPassworkKey", "b");
  const Dict vpnItems{{kSecClass, PlistValue(kSecClassGenericPassword)}, {kSecAttrService, PlistValue("VPN")}};
  EXPECT_EQ(SecItemUpdate(vpnItems, {{kSecValueData, PlistValue(toBytes("z"))}}), errSecSuccess);
  s.relaunch();
  EXPECT_EQ(valueOf(pskItem("pskSharedKey")), toBytes("z"));
  EXPECT_EQ(valueOf(pskItem("pskPassworkKey")), toBytes("z"));

  // making one item the twin of the other changes nothing
  const Dict becomeTheOther{{kSecAttrAccount, PlistValue(toBytes("pskPassworkKey"))},
                            {kSecAttrGeneric, PlistValue(toBytes("pskPassworkKey"))},
                            {kSecValueData, PlistValue(toBytes("lost?"))}};
  EXPECT_EQ(SecItemUpdate(pskItem("pskSharedKey"), becomeTheOther), errSecDuplicateItem);
  EXPECT_EQ(valueOf(pskItem("pskSharedKey")), toBytes("z"));
  EXPECT_EQ(valueOf(pskItem("pskPassworkKey")), toBytes("z"));
  // and so does an update of every item to one identity
  EXPECT_EQ(SecItemUpdate(vpnItems, {{kSecAttrAccount, PlistValue("same")}, {kSecAttrGeneric, PlistValue("same")}}),
            errSecDuplicateItem);
  EXPECT_TRUE(load("pskSharedKey"));

  EXPECT_EQ(SecItemUpdate(pskItem("missing"), {{kSecValueData, PlistValue(toBytes("x"))}}), errSecItemNotFound);
  EXPECT_FALSE(load("missing"));
}

TEST(Keychain, BadDictionariesGiveErrSecParamAndChangeNothing) {
  Sandbox s;
  save("pskSharedKey", "keep");
  const Dict noClass{{kSecAttrService, PlistValue("VPN")}, {kSecValueData, PlistValue(toBytes("x"))}};
  const Dict change{{kSecValueData, PlistValue(toBytes("changed"))}};
  struct Case {
    const char* name;
    std::function<OSStatus()> call;
  };
  const std::vector<Case> cases = {
      {"add without class", [&] { return SecItemAdd(noClass, nullptr); }},
      {"add of another class",
       [&] { return SecItemAdd(with(pskSave("k", "x"), {{kSecClass, PlistValue("kSecClassInternetPassword")}}), nullptr); }},
      {"class as data",
       [&] { return SecItemAdd(with(pskSave("k", "x"), {{kSecClass, PlistValue(toBytes(kSecClassGenericPassword))}}), nullptr); }},
      {"account as a number", [&] { return SecItemAdd(with(pskSave("k", "x"), {{kSecAttrAccount, PlistValue(5)}}), nullptr); }},
      {"access group as data",
       [&] { return SecItemAdd(with(pskSave("k", "x"), {{kSecAttrAccessGroup, PlistValue(toBytes("g"))}}), nullptr); }},
      {"unknown accessibility",
       [&] { return SecItemAdd(with(pskSave("k", "x"), {{kSecAttrAccessible, PlistValue("sometimes")}}), nullptr); }},
      {"add synchronisable any",
       [&] {
         return SecItemAdd(with(pskSave("k", "x"), {{kSecAttrSynchronizable, PlistValue(kSecAttrSynchronizableAny)}}),
                           nullptr);
       }},
      {"value as text",
       [&] { return SecItemAdd(with(pskSave("pskSharedKey", ""), {{kSecValueData, PlistValue("changed")}}), nullptr); }},
      {"unknown key", [&] { return SecItemAdd(with(pskSave("k", "x"), {{"kSecAttrLabel", PlistValue("l")}}), nullptr); }},
      {"copy without class", [&] { return SecItemCopyMatching(noClass, nullptr); }},
      {"copy with another match limit",
       [&] { return SecItemCopyMatching(with(pskItem("pskSharedKey"), {{kSecMatchLimit, PlistValue("all")}}), nullptr); }},
      {"return flag as a number",
       [&] { return SecItemCopyMatching(with(pskItem("pskSharedKey"), {{kSecReturnData, PlistValue(1)}}), nullptr); }},
      {"delete without class", [&] { return SecItemDelete(noClass); }},
      {"delete asking for a result",
       [&] { return SecItemDelete(with(pskItem("pskSharedKey"), {{kSecReturnData, PlistValue(true)}})); }},
      {"update query without class", [&] { return SecItemUpdate(noClass, change); }},
      {"update changing the class",
       [&] { return SecItemUpdate(pskItem("pskSharedKey"), with(change, {{kSecClass, PlistValue(kSecClassGenericPassword)}})); }},
      {"update to synchronisable any",
       [&] {
         return SecItemUpdate(pskItem("pskSharedKey"),
                              with(change, {{kSecAttrSynchronizable, PlistValue(kSecAttrSynchronizableAny)}}));
       }},
      {"update with an unknown key",
       [&] { return SecItemUpdate(pskItem("pskSharedKey"), with(change, {{"kSecAttrLabel", PlistValue("l")}})); }},
  };
  for (const auto& c : cases) EXPECT_EQ(c.call(), errSecParam) << c.name;
  s.relaunch();
  EXPECT_EQ(valueOf(pskItem("pskSharedKey")), toBytes("keep"));
  EXPECT_EQ(SecItemDelete(Dict{{kSecClass, PlistValue(kSecClassGenericPassword)}}), errSecSuccess);
  EXPECT_EQ(SecItemDelete(Dict{{kSecClass, PlistValue(kSecClassGenericPassword)}}), errSecItemNotFound);  // only one
}

// Runs SQL on a database file outside the keychain.
void runSQL(const fs::path& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
  sqlite3_close(db);
}

std::int64_t queryNumber(const fs::path& path, const std::string& sql) {
  sqlite3* db = nullptr;
  std::int64_t value = -1;
  if (sqlite3_open(path.c_str(), &db) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK && sqlite3_step(stmt) == SQLITE_ROW)
      value = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return value;
}

// Sets bytes of the file in place (same file, as a bad disk would), at `offset`.
void overwrite(const fs::path& path, size_t offset, const Bytes& bytes) {
  ASSERT_LE(offset + bytes.size(), fs::file_size(path));
  std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
  file.seekp(static_cast<std::streamoff>(offset));
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.good());
}

// One entry of the persistent-reference index no longer matches its row: the file opens and
// reads, but only a check comparing indexes with tables sees it.
void damageReferenceIndex(const fs::path& path, const Bytes& ref) {
  const auto page = queryNumber(path, "SELECT rootpage FROM sqlite_master WHERE name = 'sqlite_autoindex_items_1'");
  const auto pageSize = queryNumber(path, "PRAGMA page_size");
  ASSERT_GT(page, 0);
  auto file = readFile(path);
  ASSERT_TRUE(file);
  const auto begin = file->begin() + (page - 1) * pageSize;
  const auto found = std::search(begin, begin + pageSize, ref.begin(), ref.end());
  ASSERT_NE(found, begin + pageSize);
  Bytes changed = ref;
  changed.back() ^= 0x01;
  overwrite(path, static_cast<size_t>(found - file->begin()), changed);
}

TEST(Keychain, DamagedDatabaseIsKeptAsideAndAnEmptyKeychainStarts) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> damage;
  };
  const std::vector<Case> cases = {
      {"garbage bytes",
       [](const fs::path& p) {
         std::string junk(5000, '\0');
         for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 131 + 7);
         ASSERT_TRUE(writeFileAtomically(p, junk));
       }},
      {"cut short",
       [](const fs::path& p) {
         auto bytes = readFile(p);
         ASSERT_TRUE(bytes);
         bytes->resize(bytes->size() / 2);
         ASSERT_TRUE(writeFileAtomically(p, *bytes));
       }},
      {"another program's database",
       [](const fs::path& p) {
         fs::remove(p);
         runSQL(p, "CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('hello');");
       }},
      {"a keychain of an unknown format", [](const fs::path& p) { runSQL(p, "PRAGMA user_version = 9;"); }},
      {"a schema format number no reader knows", [](const fs::path& p) { overwrite(p, 44, {0, 0, 0, 9}); }},
      {"write and read versions no reader knows", [](const fs::path& p) { overwrite(p, 18, {3, 3}); }},
      // SQLite opens these read-only although this process may write the file
      {"a write version 0xff", [](const fs::path& p) { overwrite(p, 18, {0xff}); }},
      {"a write version 0x11", [](const fs::path& p) { overwrite(p, 18, {0x11}); }},
      {"a reference index that disagrees with its table",
       [](const fs::path& p) { damageReferenceIndex(p, *readFile(fs::path(p).concat(".ref"))); }},
      {"a directory in the way",
       [](const fs::path& p) {
         fs::remove(p);
         fs::create_directory(p);
         ASSERT_TRUE(writeFileAtomically(p / "inside", std::string("x")));
       }},
  };
  for (const auto& c : cases) {
    Sandbox s;
    // a real keychain with enough items to span several pages
    for (int i = 0; i < 40; ++i) save("key" + std::to_string(i), std::string(500, 'v'));
    const fs::path path = s.device().keychainPath();
    ASSERT_TRUE(writeFileAtomically(fs::path(path).concat(".ref"), *load("key7")));
    s.endProcess();
    c.damage(path);
    fs::remove(fs::path(path).concat(".ref"));
    const auto damagedBytes = readFile(path);
    fs::path aside = path;
    aside += ".damaged";

    s.launch();
    EXPECT_FALSE(load("key1")) << c.name;
    auto lines = s.consoleLines();
    ASSERT_EQ(lines.size(), 1u) << c.name;
    EXPECT_NE(lines[0].find("damaged"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(aside.string()), std::string::npos) << lines[0];
    ASSERT_TRUE(fs::exists(aside)) << c.name;
    if (damagedBytes) {
      EXPECT_EQ(readFile(aside), damagedBytes) << c.name;
    }

    save("key1", "fresh");
    s.relaunch();
    EXPECT_EQ(valueOf(pskItem("key1")), toBytes("fresh")) << c.name;
    EXPECT_TRUE(s.consoleLines().empty()) << c.name;
  }
}

TEST(Keychain, DamageMetByAWriteIsSetAsideAndTheWriteRetriedOnce) {
  Sandbox s;
  save("old", "v");
  const fs::path path = s.device().keychainPath();
  // the file turns read-only by its own header while the process runs; the change counter moves
  // so that the open connection reads the header again
  overwrite(path, 18, {3, 3});
  auto header = readFile(path);
  ASSERT_TRUE(header);
  overwrite(path, 24, {static_cast<std::uint8_t>((*header)[24] ^ 0xff), 0, 0, 1});
  EXPECT_EQ(SecItemAdd(pskSave("new", "fresh"), nullptr), errSecSuccess);
  const auto lines = s.consoleLines();
  ASSERT_EQ(lines.size(), 1u) << ::testing::PrintToString(lines);
  EXPECT_NE(lines[0].find("is damaged"), std::string::npos) << lines[0];
  EXPECT_TRUE(fs::exists(fs::path(path).concat(".damaged")));
  EXPECT_EQ(valueOf(pskItem("new")), toBytes("fresh"));
  EXPECT_FALSE(load("old"));
  s.relaunch();
  EXPECT_EQ(valueOf(pskItem("new")), toBytes("fresh"));
  EXPECT_TRUE(s.consoleLines().empty());
}

mode_t modeOf(const fs::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(Keychain, OnlyItsUserMayReadTheFile) {
  Sandbox s;
  save("pskSharedKey", "secret");
  const fs::path path = s.device().keychainPath();
  EXPECT_EQ(modeOf(path), 0600u);
  // SQLite gives a journal the mode of its database
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE; PRAGMA user_version = 1;", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(modeOf(fs::path(path).concat("-journal")), 0600u);
  sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(db);

  // a file left open to others is closed at the next open
  s.endProcess();
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
  s.launch();
  EXPECT_EQ(load("pskSharedKey").has_value(), true);
  EXPECT_EQ(modeOf(path), 0600u);
  EXPECT_TRUE(s.consoleLines().empty());
}

// The file's owner when the test runs as root, who may write any file: the keychain is used as
// this user, in a child.
uid_t owner() { return ::geteuid() == 0 ? testing::kUnprivilegedUser : ::geteuid(); }

TEST(Keychain, FileThisProcessMayNotWriteIsUnavailableAndStaysWhereItIs) {
  struct Case {
    const char* name;
    mode_t file, folder;
  };
  const std::vector<Case> cases = {{"a read-only file", 0444, 0700}, {"a read-only folder", 0600, 0500}};
  for (const auto& c : cases) {
    Sandbox s;
    save("pskSharedKey", "secret");
    s.endProcess();
    const fs::path path = s.device().keychainPath(), folder = s.device().root();
    const auto before = readFile(path);
    ASSERT_EQ(::chmod(folder.parent_path().c_str(), 0711), 0);
    ASSERT_EQ(::chown(folder.c_str(), owner(), static_cast<gid_t>(-1)), 0);
    ASSERT_EQ(::chown(path.c_str(), owner(), static_cast<gid_t>(-1)), 0);
    ASSERT_EQ(::chmod(path.c_str(), c.file), 0);
    ASSERT_EQ(::chmod(folder.c_str(), c.folder), 0);
    s.launch();
    // "<status> <lines printed> <the first line>"
    const std::string seen = testing::runAsUnprivilegedUser([&] {
      const OSStatus status = SecItemAdd(pskSave("other", "v"), nullptr);
      const auto lines = s.consoleLines();
      return std::to_string(status) + " " + std::to_string(lines.size()) + " " + (lines.empty() ? "" : lines[0]);
    });
    EXPECT_EQ(seen.rfind(std::to_string(errSecIO) + " 1 ", 0), 0u) << c.name << ": " << seen;
    EXPECT_NE(seen.find("unavailable"), std::string::npos) << seen;
    EXPECT_EQ(seen.find("damaged"), std::string::npos) << seen;
    EXPECT_EQ(readFile(path), before) << c.name;
    EXPECT_FALSE(fs::exists(fs::path(path).concat(".damaged"))) << c.name;

    s.endProcess();
    ASSERT_EQ(::chmod(folder.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    s.launch();
    EXPECT_EQ(valueOf(pskItem("pskSharedKey")), toBytes("secret")) << c.name;
  }
}

TEST(Keychain, ASecondDamageKeepsTheFirstCopy) {
  Sandbox s;
  save("pskSharedKey", "v");
  s.endProcess();
  const fs::path path = s.device().keychainPath();
  auto withSuffix = [&](const char* suffix) {
    fs::path p = path;
    p += suffix;
    return p;
  };
  ASSERT_TRUE(writeFileAtomically(withSuffix(".damaged"), std::string("first damaged copy")));
  ASSERT_TRUE(writeFileAtomically(path, std::string(3000, 'x')));
  s.launch();
  EXPECT_FALSE(load("pskSharedKey"));
  EXPECT_EQ(readFile(withSuffix(".damaged")), toBytes("first damaged copy"));
  EXPECT_EQ(readFile(withSuffix(".damaged-2")), toBytes(std::string(3000, 'x')));
  EXPECT_EQ(s.consoleLines().size(), 1u);
  save("pskSharedKey", "again");
  s.relaunch();
  EXPECT_EQ(valueOf(pskItem("pskSharedKey")), toBytes("again"));
}

}  // namespace
}  // namespace platform
