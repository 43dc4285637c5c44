#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

#include "platform/foundation/bundle.h"
#include "platform/foundation/device.h"
#include "platform/foundation/process.h"
#include "platform/foundation/random.h"
#include "platform/foundation/time.h"

namespace platform::testing {

// A fresh device in a temporary directory with one launched process on a virtual clock.
// Relaunching ends the process and starts another on the same device.
class Sandbox {
 public:
  struct Options {
    DeviceProfile profile;
    Bundle::Config bundle = defaultBundle();
    std::uint64_t seed = 1;
    // none: the system's generator seeded with `seed`
    std::shared_ptr<RandomSource> random;
    bool echoConsole = false;
  };
  static Bundle::Config defaultBundle();

  Sandbox();
  explicit Sandbox(Options options);
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  Device& device() { return *device_; }
  const std::shared_ptr<Device>& devicePtr() { return device_; }
  Process& process() { return *process_; }
  RunLoop& loop() { return process_->mainLoop(); }
  VirtualClock& clock() { return *clock_; }

  void endProcess();
  void launch();
  void relaunch() {
    endProcess();
    launch();
  }

 private:
  Options options_;
  std::filesystem::path root_;
  std::shared_ptr<Device> device_;
  std::shared_ptr<VirtualClock> clock_;
  std::unique_ptr<Process> process_;
  std::optional<Date> wallAtEnd_;
};

}  // namespace platform::testing
