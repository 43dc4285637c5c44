#include "platform/foundation/notification_center.h"

#include <algorithm>

#include "platform/foundation/process.h"

namespace platform {

NotificationCenter& NotificationCenter::defaultCenter() { return Process::current().notificationCenter(); }

void NotificationCenter::addObserver(const std::weak_ptr<const void>& observer, std::string name, Callback callback,
                                     const void* object) {
  auto owner = observer.lock();
  if (!owner) return;  // already gone: nothing could ever be delivered
  std::lock_guard lock(mutex_);
  entries_.push_back(Entry{observer, owner.get(), std::move(name), object,
                           std::make_shared<const Callback>(std::move(callback))});
}

void NotificationCenter::addObserver(std::string name, Callback callback, const void* object) {
  std::lock_guard lock(mutex_);
  entries_.push_back(
      Entry{{}, nullptr, std::move(name), object, std::make_shared<const Callback>(std::move(callback))});
}

void NotificationCenter::removeObserver(const void* observer) {
  if (!observer) return;
  std::lock_guard lock(mutex_);
  std::erase_if(entries_, [&](const Entry& e) { return e.ownerId == observer; });
}

void NotificationCenter::post(const std::string& name, const void* object) {
  struct Delivery {
    std::shared_ptr<const void> owner;  // keeps the observer alive while it runs
    std::shared_ptr<const Callback> callback;
  };
  std::vector<Delivery> deliveries;
  {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [](const Entry& e) { return e.ownerId && e.owner.expired(); });
    for (const auto& e : entries_) {
      if (e.name != name || (e.object && e.object != object)) continue;
      Delivery d{e.owner.lock(), e.callback};
      if (e.ownerId && !d.owner) continue;
      deliveries.push_back(std::move(d));
    }
  }
  if (auto* process = Process::currentOrNull(); process && process->observer())
    process->observer()->posted(name, isMainThread());
  const Notification n{name, object};
  for (const auto& d : deliveries) (*d.callback)(n);
}

}  // namespace platform
