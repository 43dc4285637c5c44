#include "platform/testing/sandbox.h"

#include <cstdlib>
#include <string>

#include "platform/foundation/console.h"
#include "platform/testing/vpn_testing.h"

namespace platform::testing {

Bundle::Config Sandbox::defaultBundle() {
  Bundle::Config c;
  c.info = {{"CFBundleIdentifier", PlistValue("com.orvane.vpn")},
            {"CFBundleShortVersionString", PlistValue("1.0")},
            {"CFBundleName", PlistValue("OrvaneVPN")}};
  return c;
}

Sandbox::Sandbox() : Sandbox(Options{}) {}

Sandbox::Sandbox(Options options) : options_(std::move(options)) {
  auto base = std::filesystem::temp_directory_path() / "orvane-test-XXXXXX";
  std::string tmpl = base.string();
  if (!::mkdtemp(tmpl.data())) fatalError("cannot create a sandbox directory");
  root_ = tmpl;
  device_ = Device::open(root_ / "device", options_.profile);
  launch();
}

Sandbox::~Sandbox() {
  endProcess();
  device_.reset();
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

void Sandbox::endProcess() {
  if (!process_) return;
  process_.reset();
  wallAtEnd_ = clock_->wallNow();
  clock_.reset();
}

void Sandbox::launch() {
  if (process_) return;
  // wall time goes on across launches; monotonic time starts again
  clock_ = wallAtEnd_ ? std::make_shared<VirtualClock>(*wallAtEnd_) : std::make_shared<VirtualClock>();
  Process::Options o;
  o.clock = clock_;
  o.random = options_.random ? options_.random : std::make_shared<SystemRandom>(options_.seed);
  o.mainBundle = std::make_shared<Bundle>(options_.bundle);
  o.echoConsole = options_.echoConsole;
  recorder_ = std::make_shared<Recorder>();
  o.observer = recorder_;
  process_ = Process::launch(device_, std::move(o));
  installVPNScript(*process_);
}

}  // namespace platform::testing
