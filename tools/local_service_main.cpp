// The maker's service on this machine, from one command: orvane-service [--port N] [--fixtures DIR]
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <system_error>

#include "tools/local_service.h"

namespace {

constexpr const char* kUsage =
    "usage: orvane-service [--port N] [--fixtures DIR]\n"
    "Serves the maker's exchange on https://127.0.0.1:N/data/server/ (N: 0 or left out for any free\n"
    "port) from the fixtures in DIR, with a certificate made at start, until SIGINT or SIGTERM.\n";

int usageError(const std::string& what) {
  std::fprintf(stderr, "orvane-service: %s\n%s", what.c_str(), kUsage);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  orvane_service::LocalService::Options options;
  options.keepRecords = false;  // it may run for days: nothing may pile up
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--port") {
      if (i + 1 >= argc) return usageError("--port needs a number from 0 to 65535");
      const std::string text = argv[++i];
      int port = -1;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
      if (text.empty() || ec != std::errc() || end != text.data() + text.size() || port < 0 || port > 65535)
        return usageError("--port needs a number from 0 to 65535, not \"" + text + "\"");
      options.port = port;
    } else if (arg == "--fixtures") {
      if (i + 1 >= argc) return usageError("--fixtures needs a directory");
      options.fixtures = argv[++i];
    } else {
      return usageError("unknown argument \"" + arg + "\"");
    }
  }

  // wait for the end signal on this thread only
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  try {
    orvane_service::LocalService service(options);
    std::printf("orvane-service: listening on https://%s/data/server/\n", service.host().c_str());
    std::printf("orvane-service: certificate authority %s\n", service.certificateFile().c_str());
    std::fflush(stdout);
    int received = 0;
    sigwait(&signals, &received);
    std::printf("orvane-service: stopped\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvane-service: %s\n", e.what());
    return 1;
  }
  return 0;
}
