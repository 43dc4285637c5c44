#include "platform/foundation/process.h"

#include <atomic>

#include "platform/foundation/console.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/user_defaults.h"

namespace platform {

namespace {
std::atomic<Process*> gCurrent{nullptr};
}

Process::Process(std::shared_ptr<Device> device, Options options)
    : device_(std::move(device)),
      clock_(options.clock ? std::move(options.clock) : std::make_shared<RealClock>()),
      random_(options.random ? std::move(options.random) : std::make_shared<SystemRandom>()),
      mainBundle_(options.mainBundle ? std::move(options.mainBundle) : std::make_shared<Bundle>(Bundle::Config{})),
      echoConsole_(options.echoConsole),
      observer_(std::move(options.observer)),
      mainThread_(std::this_thread::get_id()),
      background_(std::make_unique<BackgroundQueue>()),
      mainLoop_(std::make_unique<RunLoop>(clock_, *background_)),
      notificationCenter_(std::make_unique<NotificationCenter>()) {
  background_->setOnTaskDone([loop = mainLoop_.get()] { loop->wake(); });
}

std::unique_ptr<Process> Process::launch(std::shared_ptr<Device> device, Options options) {
  if (!device) fatalError("Process::launch needs a device");
  std::unique_ptr<Process> p(new Process(std::move(device), std::move(options)));
  Process* expected = nullptr;
  if (!gCurrent.compare_exchange_strong(expected, p.get()))
    fatalError("a process is already running; end it before launching another");
  return p;
}

Process::~Process() {
  ending_.store(true);
  setUnusableDeviceFileHandler(nullptr);  // what it reaches is going away
  // Background work finishes first: it may still reach the shared instances.
  background_->shutdown();
  std::vector<SharedSlot*> order;
  {
    std::lock_guard lock(sharedMutex_);
    order.swap(creationOrder_);
  }
  for (auto it = order.rbegin(); it != order.rend(); ++it) (*it)->instance.reset();
  mainLoop_->clear();
  {
    std::lock_guard lock(defaultsMutex_);
    defaults_.clear();
  }
  notificationCenter_.reset();
  gCurrent.store(nullptr);
}

Process& Process::current() {
  auto* p = gCurrent.load();
  if (!p) fatalError("no process is running");
  return *p;
}

Process* Process::currentOrNull() { return gCurrent.load(); }

Process::SharedSlot& Process::sharedSlot(std::type_index type) {
  std::lock_guard lock(sharedMutex_);
  auto& slot = sharedSlots_[type];
  if (!slot) slot = std::make_unique<SharedSlot>();
  return *slot;
}

void Process::reportUnusableDeviceFile(const std::string& line) {
  std::function<void(const std::string&)> handler;
  {
    std::lock_guard lock(unusableMutex_);
    if (unusable_) return;
    unusable_ = line;
    handler = unusableHandler_;
  }
  if (handler) {
    handler(line);
  } else {
    console(line);
  }
}

void Process::setUnusableDeviceFileHandler(std::function<void(const std::string&)> handler) {
  std::optional<std::string> already;
  {
    std::lock_guard lock(unusableMutex_);
    unusableHandler_ = handler;
    already = unusable_;
  }
  // a report that came first still ends what the handler runs
  if (handler && already) handler(*already);
}

std::optional<std::string> Process::unusableDeviceFile() const {
  std::lock_guard lock(unusableMutex_);
  return unusable_;
}

std::shared_ptr<UserDefaults> Process::defaultsSuite(const std::string& suite) {
  std::lock_guard lock(defaultsMutex_);
  auto& d = defaults_[suite];
  if (!d) d = std::make_shared<UserDefaults>(device_->preferencesDirectory() / (suite + ".json"));
  return d;
}

}  // namespace platform
