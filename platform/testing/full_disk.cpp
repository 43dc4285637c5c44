#include "platform/testing/full_disk.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string_view>

namespace platform::testing {
namespace {

// What the layer looks for; set while a FullDisk lives.
struct Condition {
  std::mutex mutex;
  std::string prefix;
  std::string marker;
  std::atomic<int> failed{0};
};

Condition& condition() {
  static Condition c;
  return c;
}

sqlite3_vfs* realVfs = nullptr;
sqlite3_vfs layer;

// A file of this layer: the real file's handle follows it in the same allocation.
struct File {
  sqlite3_file base;
  bool watched;
  sqlite3_file* real() { return reinterpret_cast<sqlite3_file*>(this + 1); }
};

File* of(sqlite3_file* f) { return reinterpret_cast<File*>(f); }

bool carriesMarker(const void* data, int amount) {
  auto& c = condition();
  std::lock_guard lock(c.mutex);
  const std::string_view bytes(static_cast<const char*>(data), static_cast<std::size_t>(amount));
  return !c.marker.empty() && bytes.find(c.marker) != std::string_view::npos;
}

// The real file's method of that name, with the same arguments.
template <auto Method, class... Args>
int forward(sqlite3_file* f, Args... args) {
  auto* real = of(f)->real();
  return (real->pMethods->*Method)(real, args...);
}

int xClose(sqlite3_file* f) {
  auto* real = of(f)->real();
  return real->pMethods ? real->pMethods->xClose(real) : SQLITE_OK;
}
int xWrite(sqlite3_file* f, const void* data, int amount, sqlite3_int64 offset) {
  if (of(f)->watched && carriesMarker(data, amount)) {
    condition().failed.fetch_add(1);
    return SQLITE_FULL;
  }
  auto* real = of(f)->real();
  return real->pMethods->xWrite(real, data, amount, offset);
}
// Shared memory and memory maps are not offered: the keychain uses neither, and without them
// every write passes through xWrite.
using M = sqlite3_io_methods;
const sqlite3_io_methods kMethods = {1,
                                     xClose,
                                     forward<&M::xRead>,
                                     xWrite,
                                     forward<&M::xTruncate>,
                                     forward<&M::xSync>,
                                     forward<&M::xFileSize>,
                                     forward<&M::xLock>,
                                     forward<&M::xUnlock>,
                                     forward<&M::xCheckReservedLock>,
                                     forward<&M::xFileControl>,
                                     forward<&M::xSectorSize>,
                                     forward<&M::xDeviceCharacteristics>,
                                     nullptr,
                                     nullptr,
                                     nullptr,
                                     nullptr,
                                     nullptr,
                                     nullptr};

int xOpen(sqlite3_vfs*, const char* name, sqlite3_file* f, int flags, int* outFlags) {
  auto* file = of(f);
  file->base.pMethods = nullptr;
  file->watched = false;
  if (name) {
    auto& c = condition();
    std::lock_guard lock(c.mutex);
    file->watched = !c.prefix.empty() && std::string_view(name).substr(0, c.prefix.size()) == c.prefix;
  }
  const int rc = realVfs->xOpen(realVfs, name, file->real(), flags, outFlags);
  // the real file's close runs even after a failed open, when it left methods behind
  if (rc == SQLITE_OK || file->real()->pMethods) file->base.pMethods = &kMethods;
  return rc;
}

}  // namespace

FullDisk::FullDisk(std::filesystem::path pathPrefix) {
  auto& c = condition();
  {
    std::lock_guard lock(c.mutex);
    // SQLite names files by their full path, links resolved
    std::error_code ec;
    const auto canonical = std::filesystem::weakly_canonical(pathPrefix, ec);
    c.prefix = (ec ? pathPrefix : canonical).string();
    c.marker.clear();
    c.failed = 0;
  }
  sqlite3_initialize();
  realVfs = sqlite3_vfs_find(nullptr);
  layer = *realVfs;
  layer.iVersion = std::min(realVfs->iVersion, 3);
  layer.zName = "orvane-full-disk";
  layer.szOsFile = static_cast<int>(sizeof(File)) + realVfs->szOsFile;
  layer.xOpen = xOpen;
  sqlite3_vfs_register(&layer, 1);
}

FullDisk::~FullDisk() {
  sqlite3_vfs_register(realVfs, 1);
  sqlite3_vfs_unregister(&layer);
  auto& c = condition();
  std::lock_guard lock(c.mutex);
  c.prefix.clear();
  c.marker.clear();
}

void FullDisk::fillAt(std::string marker) {
  auto& c = condition();
  std::lock_guard lock(c.mutex);
  c.marker = std::move(marker);
}

int FullDisk::failedWrites() const { return condition().failed.load(); }

}  // namespace platform::testing
