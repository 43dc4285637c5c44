// OrvaneVPN, headless: the application on a device directory against a local stand-in of the
// maker's service, driven by a script of steps (see kUsage).
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tools/session.h"

namespace {

constexpr const char* kUsage =
    "usage: orvane [--device DIR] [--script FILE] [--virtual-time]\n"
    "Runs OrvaneVPN headless on the device directory DIR (default: orvane-device) against a local\n"
    "stand-in of the maker's service, and acts on its screens step by step, printing what the\n"
    "screen shows after each step. Without --script it runs the default session:\n"
    "  wait-home, wait-list, bring-down, swipe, wait-connected, picker, pick other, wait-connected,\n"
    "  swipe, wait-disconnected, settings, close-settings\n"
    "\n"
    "  --script FILE   the steps, one a line; blank lines and lines starting with # are skipped\n"
    "  --virtual-time  the same script on a virtual clock: waits take no time (transfers still do)\n"
    "  --help          this text\n"
    "\n"
    "Steps:\n"
    "  wait-home          until the home screen shows over the splash screen\n"
    "  wait-list          until the server list has arrived (fails with the reason when it does not)\n"
    "  bring-down         when the tunnel is up (it outlives a session), swipe it down and wait until\n"
    "                     it is disconnected; nothing when it is down\n"
    "  swipe              swipe the connect control (connects, or disconnects when connected)\n"
    "  wait-connected     until the tunnel is connected (fails with the reason once the connect\n"
    "                     has failed and no further attempt is coming)\n"
    "  wait-disconnected  until the tunnel is disconnected (or has no configuration yet)\n"
    "  picker             tap the server button: the server picker opens\n"
    "  pick N|auto|other  in the picker, tap server N of \"Servers\" (from 1), the \"Auto Select\"\n"
    "                     row, or the first server other than the current one\n"
    "  cancel             close the server picker\n"
    "  settings           tap the settings button: the settings screen opens\n"
    "  close-settings     tap Close on the settings screen\n"
    "  wait SECONDS       let that much time pass (0 to 3600)\n"
    "A step acts only on the screen that shows: one covered by another screen fails. A waiting\n"
    "step gives up after 30 seconds; the session after a minute more than its steps may take (30\n"
    "seconds a step, a wait its own time). Exits 0 when every step went through, 1 with the reason\n"
    "when one did not, 2 for a usage error, 130 or 143 on SIGINT or SIGTERM (a second one ends it\n"
    "at once).\n";

int usageError(const std::string& what) {
  std::fprintf(stderr, "orvane: %s\n%s", what.c_str(), kUsage);
  return 2;
}

// The script's lines, or none with the reason.
std::optional<std::vector<std::string>> readScript(const std::string& file, std::string& why) {
  struct stat st {};
  if (::stat(file.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    why = "the script " + file + " is a directory";
    return std::nullopt;
  }
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; in && std::getline(in, line);) lines.push_back(line);
  if (!in.is_open() || in.bad()) {
    why = "cannot read the script " + file + ": " + std::strerror(errno);
    return std::nullopt;
  }
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  orvane_session::SessionOptions options;
  std::optional<std::string> scriptFile;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--device") {
      if (i + 1 >= argc) return usageError("--device needs a directory");
      options.deviceDir = argv[++i];
    } else if (arg == "--script") {
      if (i + 1 >= argc) return usageError("--script needs a file");
      scriptFile = argv[++i];
    } else if (arg == "--virtual-time") {
      options.virtualTime = true;
    } else {
      return usageError("unknown argument \"" + orvane_session::printable(arg) + "\"");
    }
  }
  std::vector<std::string> lines = orvane_session::defaultScript();
  std::string where = "the default session";
  std::string why;
  if (scriptFile) {
    auto read = readScript(*scriptFile, why);
    if (!read) {
      std::fprintf(stderr, "orvane: %s\n", why.c_str());
      return 1;
    }
    lines = std::move(*read);
    where = *scriptFile;
  }
  auto steps = orvane_session::parseScript(lines, where, why);
  if (!steps) return usageError(why);
  options.steps = std::move(*steps);

  orvane_session::SignalWatcher signals;
  try {
    return orvane_session::runSession(options, argv[0], signals);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvane: %s\n", e.what());
    return 1;
  }
}
