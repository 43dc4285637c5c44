#include "platform/security/keychain.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

#include "platform/foundation/console.h"
#include "platform/foundation/files.h"
#include "platform/foundation/process.h"
#include "platform/security/keychain_attributes.h"

namespace platform {
namespace {

using namespace keychain_detail;

struct Item {
  std::int64_t id = 0;
  Bytes ref;
  Blob service, account, generic;
  std::string accessGroup, accessible;
  bool synchronizable = false;
  Bytes data;
};

PlistValue blobValue(const Blob& b) {
  return b.kind == Kind::Text ? PlistValue(toString(b.bytes)) : PlistValue(b.bytes);
}

PlistValue::Dictionary attributesOf(const Item& item) {
  PlistValue::Dictionary d{{kSecClass, PlistValue(kSecClassGenericPassword)},
                           {kSecAttrAccessible, PlistValue(item.accessible)},
                           {kSecAttrSynchronizable, PlistValue(item.synchronizable)}};
  if (item.service.kind != Kind::Absent) d[kSecAttrService] = blobValue(item.service);
  if (item.account.kind != Kind::Absent) d[kSecAttrAccount] = blobValue(item.account);
  if (item.generic.kind != Kind::Absent) d[kSecAttrGeneric] = blobValue(item.generic);
  if (!item.accessGroup.empty()) d[kSecAttrAccessGroup] = PlistValue(item.accessGroup);
  return d;
}

std::optional<PlistValue> resultFor(const Item& item, const Request& r) {
  const int asked = int{r.returnData} + int{r.returnAttributes} + int{r.returnRef};
  if (asked == 0) return std::nullopt;
  if (asked == 1 && r.returnData) return PlistValue(item.data);
  if (asked == 1 && r.returnRef) return PlistValue(item.ref);
  PlistValue::Dictionary d = r.returnAttributes ? attributesOf(item) : PlistValue::Dictionary{};
  if (r.returnData) d[kSecValueData] = PlistValue(item.data);
  if (r.returnRef) d[kSecValuePersistentRef] = PlistValue(item.ref);
  return PlistValue(std::move(d));
}

using Param = std::variant<Bytes, std::string, std::int64_t>;

class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) { rc_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr); }
  ~Statement() { sqlite3_finalize(stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  bool prepared() const { return rc_ == SQLITE_OK; }

  // False when a parameter cannot be bound.
  bool bind(const std::vector<Param>& params) {
    int i = 0;
    for (const auto& p : params) {
      ++i;
      int rc = SQLITE_OK;
      if (auto b = std::get_if<Bytes>(&p)) {
        // a null pointer would bind NULL, not an empty blob
        const void* bytes = b->empty() ? static_cast<const void*>("") : b->data();
        rc = sqlite3_bind_blob64(stmt_, i, bytes, b->size(), SQLITE_TRANSIENT);
      } else if (auto s = std::get_if<std::string>(&p)) {
        rc = sqlite3_bind_text64(stmt_, i, s->data(), s->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
      } else {
        rc = sqlite3_bind_int64(stmt_, i, std::get<std::int64_t>(p));
      }
      if (rc != SQLITE_OK) return false;
    }
    return true;
  }

  int step() { return sqlite3_step(stmt_); }

  Bytes blob(int column) const {
    auto* p = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt_, column));
    auto n = static_cast<size_t>(sqlite3_column_bytes(stmt_, column));
    return p ? Bytes(p, p + n) : Bytes();
  }
  std::string text(int column) const {
    auto* p = sqlite3_column_text(stmt_, column);
    auto n = static_cast<size_t>(sqlite3_column_bytes(stmt_, column));
    return p ? std::string(reinterpret_cast<const char*>(p), n) : std::string();
  }
  std::int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_OK;
};

constexpr const char* kItemColumns =
    "id, persistent_ref, service, service_kind, account, account_kind, generic, generic_kind, access_group, "
    "accessible, synchronizable, data";

Kind kindFrom(std::int64_t v) {
  return v == static_cast<std::int64_t>(Kind::Text)   ? Kind::Text
         : v == static_cast<std::int64_t>(Kind::Data) ? Kind::Data
                                                      : Kind::Absent;
}

Item readItem(const Statement& s) {
  Item item;
  item.id = s.integer(0);
  item.ref = s.blob(1);
  item.service = Blob{s.blob(2), kindFrom(s.integer(3))};
  item.account = Blob{s.blob(4), kindFrom(s.integer(5))};
  item.generic = Blob{s.blob(6), kindFrom(s.integer(7))};
  item.accessGroup = s.text(8);
  item.accessible = s.text(9);
  item.synchronizable = s.integer(10) != 0;
  item.data = s.blob(11);
  return item;
}

std::int64_t kindValue(const Blob& b) { return static_cast<std::int64_t>(b.kind); }

// " WHERE ..." selecting the items a query matches.
std::string matchClause(const Request& q, std::vector<Param>& params) {
  std::string sql = " WHERE item_class = ?";
  params.emplace_back(std::string(kSecClassGenericPassword));
  auto blobColumn = [&](const std::optional<Blob>& b, const char* column) {
    if (!b) return;
    sql += std::string(" AND ") + column + " = ?";
    params.emplace_back(b->bytes);
  };
  blobColumn(q.service, "service");
  blobColumn(q.account, "account");
  blobColumn(q.generic, "generic");
  if (q.accessGroup) {
    sql += " AND access_group = ?";
    params.emplace_back(*q.accessGroup);
  }
  if (q.accessible) {
    sql += " AND accessible = ?";
    params.emplace_back(*q.accessible);
  }
  const Sync sync = q.sync.value_or(Sync::No);
  if (sync != Sync::Any) sql += sync == Sync::Yes ? " AND synchronizable = 1" : " AND synchronizable = 0";
  return sql;
}

// Whether this process may write the database file and make a journal beside it.
bool mayWrite(sqlite3* db) {
  const char* name = sqlite3_db_filename(db, "main");
  if (!name || !*name) return false;
  const std::filesystem::path file(name);
  return ::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) == 0 &&
         ::faccessat(AT_FDCWD, file.parent_path().c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

// Only this user may read the items: a new file is made 0600 (SQLite gives its journals the file's
// mode) and an existing one loses what group and others may do. Whatever stands in the way of a
// file is left for the open to judge.
void protect(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  if (fd < 0) return;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & 077) != 0) ::fchmod(fd, st.st_mode & 0700);
  ::close(fd);
}

// Why the file is there but cannot be opened for reading (permission, an I/O error), or none.
std::optional<std::string> cannotRead(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    ::close(fd);
    return std::nullopt;
  }
  if (errno == ENOENT || errno == ELOOP || errno == ENXIO) return std::nullopt;
  return std::string(std::strerror(errno));
}

// Whether a result code shows the file itself is damaged, rather than a full disk, a lock held
// elsewhere or a file this process may not write. While opening, an error or running out of
// memory on our own fixed statements also comes from the file.
bool showsDamage(sqlite3* db, int rc, bool opening) {
  if (rc == SQLITE_IOERR_SHORT_READ) return true;
  if (rc == SQLITE_READONLY_DBMOVED) return false;  // replaced under us, not damaged
  if (rc == SQLITE_READONLY_DIRECTORY) return false;  // a folder that takes no journal
  switch (rc & 0xff) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
      return true;
    case SQLITE_READONLY:
      // A file we may write that still refuses writes says so by its own header (a write version
      // SQLite does not know makes it open read-only); one we may not write is merely unavailable.
      return mayWrite(db);
    case SQLITE_ERROR:
    case SQLITE_NOMEM:
    case SQLITE_RANGE:
      return opening;
    default:
      return false;
  }
}

// What the database answered to this thread's last operation that met errSecIO.
thread_local std::string lastIOFailure;

class KeychainStore {
 public:
  explicit KeychainStore(std::filesystem::path path) : path_(std::move(path)) { start(); }
  ~KeychainStore() {
    if (db_) sqlite3_close_v2(db_);
  }
  KeychainStore(const KeychainStore&) = delete;
  KeychainStore& operator=(const KeychainStore&) = delete;

  OSStatus add(const Request& r, std::optional<PlistValue>* result) {
    return guarded(errSecIO, [&] { return addLocked(r, result); });
  }
  OSStatus copyMatching(const Request& q, std::optional<PlistValue>* result) {
    return guarded(errSecIO, [&] { return copyMatchingLocked(q, result); });
  }
  OSStatus update(const Request& q, const Request& c) {
    return guarded(errSecIO, [&] { return updateLocked(q, c); });
  }
  OSStatus remove(const Request& q) {
    return guarded(errSecIO, [&] { return removeLocked(q); });
  }
  std::optional<Item> itemByRef(const Bytes& ref) {
    return guarded(std::optional<Item>(), [&] { return itemWhere(" WHERE persistent_ref = ?", {ref}); });
  }

 private:
  // Runs one operation under the lock. When it meets a damaged file, the file is set aside, a
  // fresh keychain starts and the operation runs once more on it.
  template <class Result, class Body>
  Result guarded(Result unavailable, Body body) {
    std::lock_guard lock(mutex_);
    if (!db_) {
      lastIOFailure = "the keychain is unavailable";
      return unavailable;
    }
    damage_.reset();
    Result result = body();
    if (!damage_) return result;
    const std::string reason = *damage_;
    damage_.reset();
    sqlite3_close_v2(db_);
    db_ = nullptr;
    if (!replaceDamaged(reason)) {
      lastIOFailure = "the keychain is damaged (" + reason + ") and cannot be replaced";
      return unavailable;
    }
    retrying_ = true;
    result = body();
    retrying_ = false;
    return result;
  }

  OSStatus addLocked(const Request& r, std::optional<PlistValue>* result) {
    Bytes ref(16);
    sqlite3_randomness(static_cast<int>(ref.size()), ref.data());
    const Blob none;
    Statement s(db_,
                "INSERT INTO items (persistent_ref, item_class, service, service_kind, account, account_kind, generic, "
                "generic_kind, access_group, accessible, synchronizable, data) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    const Blob& service = r.service ? *r.service : none;
    const Blob& account = r.account ? *r.account : none;
    const Blob& generic = r.generic ? *r.generic : none;
    std::vector<Param> params{ref,
                              std::string(kSecClassGenericPassword),
                              service.bytes,
                              kindValue(service),
                              account.bytes,
                              kindValue(account),
                              generic.bytes,
                              kindValue(generic),
                              r.accessGroup.value_or(std::string()),
                              r.accessible.value_or(std::string(kSecAttrAccessibleWhenUnlocked)),
                              std::int64_t{r.sync == Sync::Yes},
                              r.value.value_or(Bytes())};
    if (!s.prepared() || !s.bind(params)) return failed("add");
    const int rc = s.step();
    if (rc == SQLITE_CONSTRAINT_UNIQUE) return errSecDuplicateItem;
    if (rc != SQLITE_DONE) return failed("add");
    if (result) {
      auto item = itemWhere(" WHERE id = ?", {std::int64_t{sqlite3_last_insert_rowid(db_)}});
      if (!item) return failed("add");
      *result = resultFor(*item, r);
    }
    return errSecSuccess;
  }

  OSStatus copyMatchingLocked(const Request& q, std::optional<PlistValue>* result) {
    std::vector<Param> params;
    const std::string where = matchClause(q, params) + " ORDER BY id LIMIT 1";
    OSStatus status = errSecSuccess;
    auto item = itemWhere(where, params, &status);
    if (status != errSecSuccess) return status;
    if (!item) return errSecItemNotFound;
    if (result) *result = resultFor(*item, q);
    return errSecSuccess;
  }

  OSStatus updateLocked(const Request& q, const Request& c) {
    std::vector<Param> params;
    std::string sets;
    auto set = [&](const char* column, Param value) {
      sets += sets.empty() ? " SET " : ", ";
      sets += std::string(column) + " = ?";
      params.push_back(std::move(value));
    };
    auto setBlob = [&](const std::optional<Blob>& b, const char* column, const char* kindColumn) {
      if (!b) return;
      set(column, b->bytes);
      set(kindColumn, kindValue(*b));
    };
    setBlob(c.service, "service", "service_kind");
    setBlob(c.account, "account", "account_kind");
    setBlob(c.generic, "generic", "generic_kind");
    if (c.accessGroup) set("access_group", *c.accessGroup);
    if (c.accessible) set("accessible", *c.accessible);
    if (c.sync) set("synchronizable", std::int64_t{*c.sync == Sync::Yes});
    if (c.value) set("data", *c.value);
    const std::string where = matchClause(q, params);
    if (sets.empty()) {
      OSStatus status = errSecSuccess;
      auto item = itemWhere(where + " LIMIT 1", params, &status);
      return status != errSecSuccess ? status : item ? errSecSuccess : errSecItemNotFound;
    }
    // one statement: a collision on any row leaves every row as it was
    Statement s(db_, "UPDATE items" + sets + where);
    if (!s.prepared() || !s.bind(params)) return failed("update");
    const int rc = s.step();
    if (rc == SQLITE_CONSTRAINT_UNIQUE) return errSecDuplicateItem;
    if (rc != SQLITE_DONE) return failed("update");
    return sqlite3_changes(db_) > 0 ? errSecSuccess : errSecItemNotFound;
  }

  OSStatus removeLocked(const Request& q) {
    std::vector<Param> params;
    Statement s(db_, "DELETE FROM items" + matchClause(q, params));
    if (!s.prepared() || !s.bind(params)) return failed("delete");
    if (s.step() != SQLITE_DONE) return failed("delete");
    return sqlite3_changes(db_) > 0 ? errSecSuccess : errSecItemNotFound;
  }

  enum class Outcome { Ready, Damaged, Failed };
  struct Opened {
    Outcome outcome;
    std::string reason;
  };

  void start() {
    auto opened = open();
    if (opened.outcome == Outcome::Damaged) {
      replaceDamaged(opened.reason);
    } else if (opened.outcome == Outcome::Failed) {
      if (auto reason = cannotRead(path_)) {
        // the items are still in there: the file stays as it is and the process does not go on
        Process::current().reportUnusableDeviceFile(unreadableLine(path_, *reason));
        return;
      }
      console("Keychain: cannot open " + path_.string() + " (" + opened.reason + "); the keychain is unavailable");
    }
  }

  // Keeps the damaged file aside and starts an empty keychain; one console line either way.
  bool replaceDamaged(const std::string& reason) {
    std::string why;
    auto aside = keepAside(path_, &why);
    if (!aside) {
      console("Keychain: " + path_.string() + " is damaged (" + reason + ") and cannot be moved aside (" + why +
              "); the keychain is unavailable");
      return false;
    }
    auto fresh = open();
    if (fresh.outcome != Outcome::Ready) {
      console("Keychain: " + path_.string() + " is damaged (" + reason + "), kept as " + aside->string() +
              "; a new keychain cannot be made (" + fresh.reason + "); the keychain is unavailable");
      return false;
    }
    console(keptAsideLine("Keychain", path_, reason, *aside, "started an empty keychain"));
    return true;
  }

  Opened open() {
    protect(path_);
    sqlite3* db = nullptr;
    // SQLite refuses a link anywhere in the name it is given; only the file's own is refused here,
    // the device directory may be a link the user chose
    std::error_code ec;
    auto folder = std::filesystem::canonical(path_.parent_path(), ec);
    const auto name = ec ? path_ : folder / path_.filename();
    const int rc =
        sqlite3_open_v2(name.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (rc != SQLITE_OK) {
      std::string why = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
      sqlite3_close_v2(db);
      // something other than a file in the way (a directory, a link) is moved aside like a damaged file
      const auto type = std::filesystem::symlink_status(path_, ec).type();
      const bool inTheWay =
          type != std::filesystem::file_type::not_found && type != std::filesystem::file_type::regular;
      if (type == std::filesystem::file_type::symlink) why = "it is a symbolic link";
      return {inTheWay ? Outcome::Damaged : Outcome::Failed, why};
    }
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, 5000);  // bounded: a stuck lock gives an error, not a hang
    auto checked = prepareSchema(db);
    if (checked.outcome == Outcome::Ready) {
      db_ = db;
    } else {
      sqlite3_close_v2(db);
    }
    return checked;
  }

  static Opened prepareSchema(sqlite3* db) {
    auto sqlFailure = [db](int rc) {
      return Opened{showsDamage(db, rc, true) ? Outcome::Damaged : Outcome::Failed, sqlite3_errmsg(db)};
    };
    {
      // the full check: it also compares every index with its table
      Statement check(db, "PRAGMA integrity_check(1)");
      if (!check.prepared()) return sqlFailure(sqlite3_errcode(db));
      const int rc = check.step();
      if (rc != SQLITE_ROW) return sqlFailure(rc);
      if (check.text(0) != "ok") return {Outcome::Damaged, "integrity check: " + check.text(0)};
    }
    // the look and the set-up in one write transaction: another process may be making the table
    char* error = nullptr;
    auto exec = [&](const char* sql) {
      sqlite3_free(error);
      error = nullptr;
      return sqlite3_exec(db, sql, nullptr, nullptr, &error);
    };
    auto failure = [&](int rc) {
      Opened f = sqlFailure(rc);
      if (error) f.reason = error;
      sqlite3_free(error);
      error = nullptr;
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      return f;
    };
    if (int rc = exec("BEGIN IMMEDIATE"); rc != SQLITE_OK) return failure(rc);
    std::int64_t version = 0, tables = 0;
    {
      Statement s(db, "SELECT (SELECT user_version FROM pragma_user_version), (SELECT count(*) FROM sqlite_master)");
      if (!s.prepared()) return failure(sqlite3_errcode(db));
      const int rc = s.step();
      if (rc != SQLITE_ROW) return failure(rc);
      version = s.integer(0);
      tables = s.integer(1);
    }
    if (version == 0 && tables == 0) {
      const int rc = exec(
          "CREATE TABLE items ("
          " id INTEGER PRIMARY KEY,"
          " persistent_ref BLOB NOT NULL UNIQUE,"
          " item_class TEXT NOT NULL,"
          " service BLOB NOT NULL, service_kind INTEGER NOT NULL,"
          " account BLOB NOT NULL, account_kind INTEGER NOT NULL,"
          " generic BLOB NOT NULL, generic_kind INTEGER NOT NULL,"
          " access_group TEXT NOT NULL,"
          " accessible TEXT NOT NULL,"
          " synchronizable INTEGER NOT NULL,"
          " data BLOB NOT NULL,"
          " UNIQUE (item_class, service, account, generic, access_group, accessible,"
          "         synchronizable));"
          "PRAGMA user_version = 1;");
      if (rc != SQLITE_OK) return failure(rc);
    } else if (version != 1) {
      sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
      return {Outcome::Damaged, "not a keychain database"};
    } else if (int rc = exec("PRAGMA user_version = 1"); rc != SQLITE_OK) {
      // a write that changes nothing: a file that takes no writes shows here, not at the first save
      return failure(rc);
    }
    if (int rc = exec("COMMIT"); rc != SQLITE_OK) return failure(rc);
    sqlite3_free(error);
    Statement probe(db, std::string("SELECT ") + kItemColumns + ", item_class FROM items LIMIT 0");
    if (!probe.prepared()) return {Outcome::Damaged, std::string("not a keychain database: ") + sqlite3_errmsg(db)};
    return {Outcome::Ready, ""};
  }

  // The first item the clause selects; none when none does or the look-up fails, the failure then
  // in `status` when given.
  std::optional<Item> itemWhere(const std::string& where, const std::vector<Param>& params,
                                OSStatus* status = nullptr) {
    Statement s(db_, std::string("SELECT ") + kItemColumns + " FROM items" + where);
    int rc = SQLITE_ERROR;
    if (s.prepared() && s.bind(params)) rc = s.step();
    if (rc == SQLITE_ROW) return readItem(s);
    if (rc != SQLITE_DONE) {
      OSStatus st = failed("lookup");
      if (status) *status = st;
    }
    return std::nullopt;
  }

  OSStatus failed(const char* operation) {
    lastIOFailure = sqlite3_errmsg(db_);
    if (!retrying_ && showsDamage(db_, sqlite3_extended_errcode(db_), false)) {
      damage_ = std::string(operation) + ": " + sqlite3_errmsg(db_);
      return errSecIO;
    }
    console(std::string("Keychain: ") + operation + " failed: " + sqlite3_errmsg(db_));
    return errSecIO;
  }

  std::filesystem::path path_;
  std::mutex mutex_;
  sqlite3* db_ = nullptr;
  std::optional<std::string> damage_;  // what the current operation met, when the file is damaged
  bool retrying_ = false;
};

std::shared_ptr<KeychainStore> store() {
  return Process::current().shared<KeychainStore>(
      [] { return std::make_shared<KeychainStore>(Process::current().device().keychainPath()); });
}

}  // namespace

OSStatus SecItemAdd(const PlistValue::Dictionary& attributes, std::optional<PlistValue>* result) {
  if (result) result->reset();
  Request r;
  if (OSStatus s = parse(attributes, Role::Add, r)) return s;
  return store()->add(r, result);
}

OSStatus SecItemCopyMatching(const PlistValue::Dictionary& query, std::optional<PlistValue>* result) {
  if (result) result->reset();
  Request q;
  if (OSStatus s = parse(query, Role::Search, q)) return s;
  return store()->copyMatching(q, result);
}

OSStatus SecItemUpdate(const PlistValue::Dictionary& query, const PlistValue::Dictionary& attributesToUpdate) {
  Request q, c;
  if (OSStatus s = parse(query, Role::Query, q)) return s;
  if (OSStatus s = parse(attributesToUpdate, Role::Change, c)) return s;
  return store()->update(q, c);
}

OSStatus SecItemDelete(const PlistValue::Dictionary& query) {
  Request q;
  if (OSStatus s = parse(query, Role::Query, q)) return s;
  return store()->remove(q);
}

std::string SecCopyErrorMessageString(OSStatus status) {
  switch (status) {
    case errSecSuccess: return "no error";
    case errSecIO: return "the keychain could not be read or written: " + lastIOFailure;
    case errSecParam: return "one or more parameters passed to the keychain are not valid";
    case errSecDuplicateItem: return "the item already exists in the keychain";
    case errSecItemNotFound: return "the item could not be found in the keychain";
    default: return "keychain status " + std::to_string(status);
  }
}

std::optional<PlistValue::Dictionary> SecItemResolvePersistentRef(const Bytes& persistentRef) {
  auto item = store()->itemByRef(persistentRef);
  if (!item) return std::nullopt;
  auto d = attributesOf(*item);
  d[kSecValueData] = PlistValue(item->data);
  return d;
}

}  // namespace platform
