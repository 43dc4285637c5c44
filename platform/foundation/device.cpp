#include "platform/foundation/device.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace platform {

Device::Device(std::filesystem::path root, DeviceProfile profile)
    : root_(std::move(root)), profile_(std::move(profile)) {}

Device::~Device() {
  if (lockFd_ >= 0) ::close(lockFd_);
}

std::shared_ptr<Device> Device::open(const std::filesystem::path& root, DeviceProfile profile) {
  namespace fs = std::filesystem;
  auto fail = [&](const std::string& why) -> std::shared_ptr<Device> {
    throw std::runtime_error("cannot use the device directory \"" + root.string() + "\": " + why);
  };
  if (root.empty()) return fail("no directory named");
  std::error_code ec;
  const fs::path absolute = fs::absolute(root, ec);
  if (ec) return fail(ec.message());
  std::shared_ptr<Device> device(new Device(absolute, std::move(profile)));
  // what the device keeps is this user's alone: every folder it makes is 0700
  for (const fs::path& dir : {device->preferencesDirectory(), device->temporaryDirectory()}) {
    fs::path made;
    for (const auto& part : dir) {
      made /= part;
      if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST) return fail(made.string() + ": " + std::strerror(errno));
    }
    if (!fs::is_directory(dir, ec)) return fail(dir.string() + " is not a directory");
  }

  // a second process on the same directory would overwrite the first one's files
  const fs::path lockPath = device->root_ / ".device-lock";
  device->lockFd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (device->lockFd_ < 0) {
    const int error = errno;
    return fail("cannot open its lock file " + lockPath.string() + ": " +
                (error == ELOOP ? std::string("it is a symbolic link") : std::strerror(error)));
  }
  if (::flock(device->lockFd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK) return fail("it is in use by another process");
    return fail("cannot lock its lock file " + lockPath.string() + ": " + std::strerror(errno));
  }

  // Folders an earlier version made more open are closed too; the device directory itself may be
  // one the user chose, and stays as it is.
  for (const fs::path& dir :
       {device->root_ / "Library", device->preferencesDirectory(), device->temporaryDirectory()}) {
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::replace, ec);
    if (ec) return fail("cannot protect " + dir.string() + ": " + ec.message());
  }
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
