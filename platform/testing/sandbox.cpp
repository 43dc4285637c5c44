#include "platform/testing/sandbox.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>

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

namespace {

constexpr std::string_view kSandboxPrefix = "orvane-test-";

// Sandboxes of test processes that died before their destructor ran (a death test's child ends in
// abort): named after their process, they are removed once it no longer runs.
void removeSandboxesOfEndedProcesses(const std::filesystem::path& temporary) {
  std::error_code ec;
  for (std::filesystem::directory_iterator it(temporary, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.rfind(kSandboxPrefix, 0) != 0) continue;
    const auto dash = name.find('-', kSandboxPrefix.size());
    const std::string pid = name.substr(kSandboxPrefix.size(), dash - kSandboxPrefix.size());
    if (dash == std::string::npos || pid.empty() || pid.size() > 9 ||
        pid.find_first_not_of("0123456789") != std::string::npos)
      continue;
    if (::kill(static_cast<pid_t>(std::stol(pid)), 0) == 0 || errno != ESRCH) continue;
    std::error_code ignored;
    std::filesystem::remove_all(it->path(), ignored);
  }
}

}  // namespace

Sandbox::Sandbox(Options options) : options_(std::move(options)) {
  const auto temporary = std::filesystem::temp_directory_path();
  removeSandboxesOfEndedProcesses(temporary);
  auto base = temporary / (std::string(kSandboxPrefix) + std::to_string(::getpid()) + "-XXXXXX");
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
