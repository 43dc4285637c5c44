#include "platform/foundation/console.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/foundation/process.h"

namespace platform {

namespace {
std::mutex gConsoleMutex;
}

void console(std::string_view line) {
  auto* p = Process::currentOrNull();
  if (p && p->observer()) p->observer()->consoleLine(line);
  if (p && !p->echoConsole()) return;
  std::lock_guard lock(gConsoleMutex);
  std::string whole(line);
  whole += '\n';
  std::fwrite(whole.data(), 1, whole.size(), stdout);
  std::fflush(stdout);
}

void fatalError(std::string_view message) {
  {
    std::lock_guard lock(gConsoleMutex);
    std::string whole = "Fatal error: " + std::string(message) + "\n";
    std::fwrite(whole.data(), 1, whole.size(), stderr);
    std::fflush(stderr);
  }
  std::abort();
}

}  // namespace platform
