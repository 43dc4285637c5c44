#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

struct Notification {
  std::string name;
  const void* object = nullptr;
};

// The process's default notification centre. Delivery is synchronous on the posting thread, in
// registration order, outside the registry lock; observers are held weakly and skipped once their
// owner is gone. Registration and posting are safe from any thread.
class NotificationCenter {
 public:
  using Callback = std::function<void(const Notification&)>;

  static NotificationCenter& defaultCenter();

  // `object` restricts delivery to posts from that sender; none means any sender.
  void addObserver(const std::weak_ptr<const void>& observer, std::string name, Callback callback,
                   const void* object = nullptr);
  // An observer that lives as long as the centre.
  void addObserver(std::string name, Callback callback, const void* object = nullptr);
  // Every registration of this observer, whatever the name.
  void removeObserver(const void* observer);

  // The current process's observer, when it has one, sees each post.
  void post(const std::string& name, const void* object = nullptr);

 private:
  struct Entry {
    std::weak_ptr<const void> owner;
    const void* ownerId = nullptr;  // null for observers without an owner
    std::string name;
    const void* object = nullptr;
    std::shared_ptr<const Callback> callback;
  };
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

}  // namespace platform
