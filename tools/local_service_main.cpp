// The maker's service on this machine, from one command: orvane-service [--port N] [--fixtures DIR]
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "tools/local_service.h"

int main(int argc, char** argv) {
  orvane_service::LocalService::Options options;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
      try {
        options.port = std::stoi(argv[++i]);
      } catch (const std::exception&) {
        options.port = -1;
      }
      if (options.port < 0 || options.port > 65535) {
        std::fprintf(stderr, "orvane-service: --port needs a number from 0 to 65535\n");
        return 2;
      }
    } else if (std::strcmp(argv[i], "--fixtures") == 0 && i + 1 < argc) {
      options.fixtures = argv[++i];
    } else {
      std::fprintf(stderr, "usage: orvane-service [--port N] [--fixtures DIR]\n");
      return 2;
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
