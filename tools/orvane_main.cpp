// The headless application session: launches the application on a device directory and runs
// its main run loop.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/foundation/console.h"
#include "platform/foundation/device.h"
#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: orvane [--device DIR]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string deviceDir = "orvane-device";
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--device") == 0 && i + 1 < argc) {
      deviceDir = argv[++i];
    } else {
      return usage();
    }
  }
  auto device = platform::Device::open(deviceDir);
  auto process = platform::Process::launch(device, {});
  auto& loop = process->mainLoop();
  loop.async([&] { platform::console("OrvaneVPN: started on device " + device->root().string()); });
  loop.asyncAfter(0.1, [&] {
    platform::console("OrvaneVPN: session ended");
    loop.stop();
  });
  loop.run();
  process.reset();
  return 0;
}
