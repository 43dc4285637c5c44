#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <typeindex>
#include <unordered_map>
#include <vector>

#include "platform/foundation/bundle.h"
#include "platform/foundation/device.h"
#include "platform/foundation/queues.h"
#include "platform/foundation/random.h"
#include "platform/foundation/time.h"

namespace platform {

class NotificationCenter;
class UserDefaults;

// Sees a copy of what a process prints and posts, for whoever installs one (the test support
// does); the process itself keeps none of it.
class ProcessObserver {
 public:
  virtual ~ProcessObserver() = default;
  virtual void consoleLine(std::string_view line) = 0;
  virtual void posted(const std::string& name, bool onMainThread) = 0;
};

// One launch of the application on a device. It owns the main run loop, the background workers,
// the default notification centre, the user-defaults stores and every shared instance; all of it
// ends with the process. Only one process runs at a time; the thread that launches it is the
// main thread.
class Process {
 public:
  struct Options {
    std::shared_ptr<Clock> clock;          // none: the real clock
    std::shared_ptr<RandomSource> random;  // none: the system's
    std::shared_ptr<Bundle> mainBundle;    // none: an empty bundle
    bool echoConsole = true;               // console lines also go to standard output
    std::shared_ptr<ProcessObserver> observer;  // none: nobody looks
  };

  static std::unique_ptr<Process> launch(std::shared_ptr<Device> device, Options options);
  // Ends the process: transfers in flight are abandoned (isEnding), background work is waited
  // for, shared instances are released newest first.
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  static Process& current();  // a programming error when none runs
  static Process* currentOrNull();

  Device& device() const { return *device_; }
  const std::shared_ptr<Device>& devicePtr() const { return device_; }
  const Clock& clock() const { return *clock_; }
  // The virtual clock of a test process, or none.
  VirtualClock* virtualClock() const { return dynamic_cast<VirtualClock*>(clock_.get()); }
  RandomSource& random() const { return *random_; }
  const std::shared_ptr<Bundle>& mainBundle() const { return mainBundle_; }
  RunLoop& mainLoop() { return *mainLoop_; }
  BackgroundQueue& background() { return *background_; }
  NotificationCenter& notificationCenter() { return *notificationCenter_; }
  std::thread::id mainThreadId() const { return mainThread_; }
  // True once the process has begun to end: long background work (a transfer waiting for its
  // reply) gives up instead of holding the end back. Safe from any thread while the process lives.
  bool isEnding() const { return ending_.load(); }

  // The shared instance of T, made by `make` on first use, exactly once whichever thread asks
  // first, and kept until the process ends.
  template <class T>
  std::shared_ptr<T> shared(const std::function<std::shared_ptr<T>()>& make) {
    auto& slot = sharedSlot(std::type_index(typeid(T)));
    std::call_once(slot.once, [&] {
      auto made = make();
      std::lock_guard lock(sharedMutex_);
      slot.instance = made;
      creationOrder_.push_back(&slot);
    });
    return std::static_pointer_cast<T>(slot.instance);
  }

  // User-defaults stores of this process, by suite file name.
  std::shared_ptr<UserDefaults> defaultsSuite(const std::string& suite);

  // A device file is there but cannot be read: the store keeps it untouched, and the process must
  // not go on as if it were empty. The handler (the launcher's) ends the process with the line;
  // without one the line goes to the console. Any thread; the first report is kept.
  void reportUnusableDeviceFile(const std::string& line);
  void setUnusableDeviceFileHandler(std::function<void(const std::string&)> handler);
  std::optional<std::string> unusableDeviceFile() const;

  ProcessObserver* observer() const { return observer_.get(); }
  bool echoConsole() const { return echoConsole_; }

 private:
  struct SharedSlot {
    std::once_flag once;
    std::shared_ptr<void> instance;
  };
  Process(std::shared_ptr<Device> device, Options options);
  SharedSlot& sharedSlot(std::type_index type);

  std::shared_ptr<Device> device_;
  std::shared_ptr<Clock> clock_;
  std::shared_ptr<RandomSource> random_;
  std::shared_ptr<Bundle> mainBundle_;
  bool echoConsole_;
  std::shared_ptr<ProcessObserver> observer_;
  std::thread::id mainThread_;
  std::atomic<bool> ending_{false};
  std::unique_ptr<BackgroundQueue> background_;
  std::unique_ptr<RunLoop> mainLoop_;
  std::unique_ptr<NotificationCenter> notificationCenter_;

  std::mutex sharedMutex_;
  std::unordered_map<std::type_index, std::unique_ptr<SharedSlot>> sharedSlots_;
  std::vector<SharedSlot*> creationOrder_;

  mutable std::mutex unusableMutex_;
  std::optional<std::string> unusable_;
  std::function<void(const std::string&)> unusableHandler_;

  std::mutex defaultsMutex_;
  std::unordered_map<std::string, std::shared_ptr<UserDefaults>> defaults_;
};

}  // namespace platform
