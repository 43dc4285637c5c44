#include "platform/foundation/device.h"

#include "platform/foundation/console.h"

namespace platform {

Device::Device(std::filesystem::path root, DeviceProfile profile)
    : root_(std::move(root)), profile_(std::move(profile)) {}

std::shared_ptr<Device> Device::open(const std::filesystem::path& root, DeviceProfile profile) {
  namespace fs = std::filesystem;
  std::shared_ptr<Device> device(new Device(fs::absolute(root), std::move(profile)));
  std::error_code ec;
  fs::create_directories(device->preferencesDirectory(), ec);
  if (!ec) fs::create_directories(device->temporaryDirectory(), ec);
  if (ec) fatalError("cannot create the device directory " + root.string() + ": " + ec.message());
  // Only the application may look into its temporary directory.
  fs::permissions(device->temporaryDirectory(), fs::perms::owner_all, fs::perm_options::replace, ec);
  if (ec) fatalError("cannot protect " + device->temporaryDirectory().string() + ": " + ec.message());
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
