#include "platform/foundation/device.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "platform/foundation/console.h"
#include "platform/foundation/files.h"

namespace platform {

Device::Device(std::filesystem::path root, DeviceProfile profile)
    : root_(std::move(root)), profile_(std::move(profile)) {}

Device::~Device() {
  if (lockFd_ >= 0) ::close(lockFd_);
}

namespace {

namespace fs = std::filesystem;

[[noreturn]] void failOpen(const fs::path& root, const std::string& why) {
  throw std::runtime_error("cannot use the device directory \"" + root.string() + "\": " + why);
}

// What stands where a device folder or file belongs, without following a link.
struct Found {
  bool exists = false;
  bool link = false;
  mode_t type = 0;
};

Found look(const fs::path& root, const fs::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return {};
    failOpen(root, "cannot look at " + path.string() + ": " + std::strerror(errno));
  }
  return {true, S_ISLNK(st.st_mode), static_cast<mode_t>(st.st_mode & S_IFMT)};
}

// Damage in place of a device folder or file: renamed aside (one line) so a fresh one can be made.
void setAside(const fs::path& root, const fs::path& path, const std::string& reason, const std::string& then) {
  std::string why;
  const auto aside = keepAside(path, &why);
  if (!aside) failOpen(root, path.string() + " is damaged (" + reason + ") and cannot be moved aside: " + why);
  console(keptAsideLine("Device", path, reason, *aside, then));
}

// A device folder that is a real directory, this user's alone. A link or anything else in its
// place is set aside: its mode is never changed and nothing is made through it.
void makeFolder(const fs::path& root, const fs::path& dir) {
  const Found found = look(root, dir);
  if (found.exists && (found.link || found.type != S_IFDIR))
    setAside(root, dir, found.link ? "it is a symbolic link" : "it is not a directory", "made a new folder");
  if ((!found.exists || found.link || found.type != S_IFDIR) && ::mkdir(dir.c_str(), 0700) != 0)
    failOpen(root, "cannot make " + dir.string() + ": " + std::strerror(errno));
  // folders an earlier version made more open are closed too
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  int rc = 0;
  if (fd >= 0) {
    rc = ::fchmod(fd, 0700);
    const int saved = errno;
    ::close(fd);
    errno = saved;
  } else {
    // one we may not read (mode 0 0 0) is still ours to mend; this does not follow a link either
    rc = ::fchmodat(AT_FDCWD, dir.c_str(), 0700, AT_SYMLINK_NOFOLLOW);
  }
  if (rc != 0) failOpen(root, "cannot protect " + dir.string() + ": " + std::strerror(errno));
}

// The lock file, made afresh when a folder, a link or another non-regular file stands there.
int openLock(const fs::path& root, const fs::path& lockPath) {
  for (int attempt = 0;; ++attempt) {
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    const int error = errno;
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) return fd;
    if (fd >= 0) ::close(fd);
    const Found found = look(root, lockPath);
    const bool inTheWay = found.exists && (found.link || found.type != S_IFREG);
    if (!inTheWay || attempt > 0)
      failOpen(root, "cannot open its lock file " + lockPath.string() + ": " +
                         (fd >= 0 ? std::string("it is not a regular file") : std::strerror(error)));
    setAside(root, lockPath, found.link ? "it is a symbolic link" : "it is not a regular file", "made a new one");
  }
}

// A device file: a link in its place is set aside (the store then starts afresh); one that is
// there but cannot be read stops the open, so nothing goes on as if it were empty. Other
// non-regular files are left to their stores, which set them aside with their own line.
void checkFile(const fs::path& root, const fs::path& file, bool readErrorsIgnored) {
  const Found found = look(root, file);
  if (!found.exists) return;
  if (found.link || (readErrorsIgnored && found.type != S_IFREG)) {
    setAside(root, file, found.link ? "it is a symbolic link" : "it is not a regular file", "started afresh");
    return;
  }
  if (readErrorsIgnored || found.type != S_IFREG) return;
  const int fd = ::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) failOpen(root, unreadableLine(file, std::strerror(errno)));
  ::close(fd);
}

// Temporaries of atomic writes whose process no longer runs: nobody will finish or remove them.
void removeLeftovers(const fs::path& dir) {
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const auto owner = atomicWriteTemporaryOwner(it->path().filename().string());
    if (!owner || *owner <= 0 || *owner == ::getpid()) continue;
    if (::kill(static_cast<pid_t>(*owner), 0) == 0 || errno != ESRCH) continue;
    std::error_code kind;
    if (it->symlink_status(kind).type() == fs::file_type::directory) continue;
    ::unlink(it->path().c_str());
  }
}

}  // namespace

std::shared_ptr<Device> Device::open(const std::filesystem::path& root, DeviceProfile profile) {
  if (root.empty()) failOpen(root, "no directory named");
  std::error_code ec;
  const fs::path absolute = fs::absolute(root, ec);
  if (ec) failOpen(root, ec.message());
  std::shared_ptr<Device> device(new Device(absolute, std::move(profile)));
  // the device directory and the folders on the way to it are the user's choice: made when
  // missing (0700), followed when links
  fs::path made;
  for (const auto& part : device->root_) {
    made /= part;
    if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST)
      failOpen(root, made.string() + ": " + std::strerror(errno));
  }
  if (!fs::is_directory(device->root_, ec)) failOpen(root, device->root_.string() + " is not a directory");

  // a second process on the same directory would overwrite the first one's files
  const fs::path lockPath = device->root_ / ".device-lock";
  device->lockFd_ = openLock(root, lockPath);
  if (::flock(device->lockFd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) failOpen(root, "it is in use by another process");
    failOpen(root, "cannot lock its lock file " + lockPath.string() + ": " + std::strerror(errno));
  }

  // Held: no other process writes here now. What the device keeps is this user's alone, and
  // nothing outside the device directory is made, written or changed through a link.
  for (const fs::path& dir : {device->root_ / "Library", device->preferencesDirectory(), device->temporaryDirectory()})
    makeFolder(root, dir);
  checkFile(root, device->keychainPath(), false);
  checkFile(root, device->vpnPreferencesPath(), false);
  checkFile(root, device->identifierForVendorPath(), false);
  // SQLite writes its journal through whatever stands there
  checkFile(root, fs::path(device->keychainPath()).concat("-journal"), true);
  checkFile(root, device->temporaryDirectory() / "keys", true);  // a cache: read errors only cost a refresh
  for (fs::directory_iterator it(device->preferencesDirectory(), ec), end; !ec && it != end; it.increment(ec)) {
    const auto name = it->path().filename().string();
    if (name.size() > 5 && name.ends_with(".json")) checkFile(root, it->path(), false);
  }
  for (const fs::path& dir :
       {device->root_, device->root_ / "Library", device->preferencesDirectory(), device->temporaryDirectory()})
    removeLeftovers(dir);
  return device;
}

DeviceProfile Device::profile() const {
  std::lock_guard lock(mutex_);
  return profile_;
}

void Device::updateProfile(const std::function<void(DeviceProfile&)>& change) {
  std::lock_guard lock(mutex_);
  change(profile_);
}

}  // namespace platform
