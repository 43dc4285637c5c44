#include "tools/session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/full_disk.h"
#include "platform/testing/unprivileged.h"
#include "tools/local_service.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using orvane_service::LocalService;
using orvane_session::SessionOptions;
using orvane_session::SignalWatcher;
using Clock = std::chrono::steady_clock;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  std::string lastLine() const {
    std::string line, last;
    for (std::istringstream in(out); std::getline(in, line);)
      if (!line.empty()) last = line;
    return last;
  }
};

// Sessions on one device directory of the test's own, run in this process as the driver runs them.
class Session : public ::testing::Test {
 protected:
  ~Session() override { fs::remove_all(device); }

  Outcome run(const std::vector<std::string>& script, bool virtualTime,
              std::function<void(LocalService&)> prepare = nullptr) {
    SessionOptions options;
    options.deviceDir = device;
    options.virtualTime = virtualTime;
    options.prepareService = std::move(prepare);
    std::string why;
    auto steps = orvane_session::parseScript(script, "the test's script", why);
    EXPECT_TRUE(steps) << why;
    if (steps) options.steps = *steps;
    Outcome outcome;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    SignalWatcher signals;  // one a session, as in the program
    outcome.status = orvane_session::runSession(options, "orvane", signals);
    outcome.err = ::testing::internal::GetCapturedStderr();
    outcome.out = ::testing::internal::GetCapturedStdout();
    return outcome;
  }

  const fs::path device = fs::path(::testing::TempDir()) / ("orvane-session-" + std::to_string(::getpid()));
};

// The text matches the pattern, in which "*" stands for any run of characters.
bool matches(const std::string& text, const std::string& pattern) {
  std::size_t at = 0, from = 0;
  for (bool first = true;; first = false) {
    const auto star = pattern.find('*', from);
    const std::string piece = pattern.substr(from, star == std::string::npos ? std::string::npos : star - from);
    const auto found = first ? (text.compare(0, piece.size(), piece) == 0 ? 0 : std::string::npos) : text.find(piece, at);
    if (found == std::string::npos) return false;
    at = found + piece.size();
    if (star == std::string::npos) return true;
    from = star + 1;
  }
}

const nlohmann::json kEmptyList = {{"freeServers", nlohmann::json::array()},
                                   {"premiumServers", {{"countries", nlohmann::json::array()}}}};

// Each script on a fresh device, on the virtual clock: its exit status and what it says.
TEST_F(Session, ScriptsEndWithTheStatusAndTheReasonAUserNeeds) {
  struct Case {
    const char* name;
    std::vector<std::string> script;
    std::function<void(LocalService&)> prepare;
    int status;
    std::string reason;  // what the failure line says ("*": anything); empty for a session that goes through
  };
  const std::vector<std::string> toList{"wait-home", "wait-list"};
  const std::vector<Case> cases = {
      {"the list's transfer fails", toList,
       [](LocalService& s) { s.setMode("sl", LocalService::Mode::resetConnection); }, 1,
       "step 2 (wait-list): the server list did not arrive: The network connection was lost.\n"},
      {"the service answers a page, not JSON", toList,
       [](LocalService& s) { s.setMode("sl", LocalService::Mode::notJSON); }, 1,
       "step 2 (wait-list): the server list did not arrive: The data couldn't be read because it isn't in the "
       "correct format. (unexpected text at byte 1)\n"},
      {"the reply holds no list", toList, [](LocalService& s) { s.setServersMember(std::nullopt); }, 1,
       "step 2 (wait-list): the server list did not arrive: the service's reply held no server list\n"},
      {"the list is empty", toList, [](LocalService& s) { s.setServerList(kEmptyList); }, 1,
       "step 2 (wait-list): the service sent an empty server list\n"},
      {"the list does not decipher", toList, [](LocalService& s) { s.setServersMember("not the list"); }, 1,
       "step 2 (wait-list): the server list could not be deciphered\n"},
      {"a fresh device is disconnected", {"wait-home", "wait-disconnected"}, nullptr, 0, ""},
      {"a covered home screen is not swiped", {"wait-home", "wait-list", "settings", "swipe"}, nullptr, 1,
       "step 4 (swipe): the home screen is covered by the settings screen\n"},
      {"a covered home screen opens no picker", {"wait-home", "wait-list", "settings", "picker"}, nullptr, 1,
       "step 4 (picker): the home screen is covered by the settings screen\n"},
      {"a number past the list", {"wait-home", "wait-list", "picker", "pick 1234567"}, nullptr, 1,
       "step 4 (pick 1234567): the picker lists * servers, not 1234567\n"},
      {"a long wait fits the session", {"wait-home", "wait 1000"}, nullptr, 0, ""},
  };
  for (const auto& c : cases) {
    fs::remove_all(device);
    const auto outcome = run(c.script, true, c.prepare);
    EXPECT_EQ(outcome.status, c.status) << c.name << "\n" << outcome.err;
    if (c.reason.empty()) {
      EXPECT_EQ(outcome.lastLine(), "OrvaneVPN: session ended") << c.name;
      continue;
    }
    EXPECT_TRUE(matches(outcome.err, "orvane: " + c.reason)) << c.name << ": " << outcome.err;
    EXPECT_EQ(outcome.out.find("OrvaneVPN: tunnel connecting"), std::string::npos) << c.name;
  }
}

TEST_F(Session, ATunnelLeftUpByAnEarlierSessionComesDownAndTheDefaultSessionGoesThrough) {
  const auto left = run({"wait-home", "wait-list", "swipe", "wait-connected"}, true);
  ASSERT_EQ(left.status, 0) << left.err;
  const auto next = run(orvane_session::defaultScript(), true);
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_NE(next.out.find("OrvaneVPN: the tunnel is connected from before this session: bringing it down"),
            std::string::npos);
  EXPECT_EQ(next.lastLine(), "OrvaneVPN: session ended");
}

// The keychain fills up while connecting: the connect's attempts go as always, and the step ends
// once no further attempt is coming, saying why, not at its limit.
TEST_F(Session, AKeyTheKeychainCannotStoreEndsWaitConnectedWithTheReason) {
  platform::testing::FullDisk disk(device / "keychain.sqlite");
  disk.fillAt("pskSharedKey");
  const auto outcome = run({"wait-home", "wait-list", "swipe", "wait-connected"}, true);
  EXPECT_EQ(outcome.status, 1) << outcome.err;
  EXPECT_EQ(outcome.err,
            "orvane: step 4 (wait-connected): connected did not happen: the pre-shared key could not be stored (the "
            "keychain could not be read or written: database or disk is full)\n");
  EXPECT_GT(disk.failedWrites(), 0);
  EXPECT_NE(outcome.out.find("Keychain: add failed: database or disk is full"), std::string::npos);
  EXPECT_NE(outcome.out.find("VPN tunnel could not connect: the shared-secret reference names no keychain item"),
            std::string::npos);
}

// A reply held back by the service is abandoned, not waited for: the session ends within about a
// second of its end, and nothing is printed after the line that says how it ended.
TEST_F(Session, ASessionEndsAtOnceWhileRepliesAreHeldBack) {
  struct Case {
    const char* name;
    std::vector<std::string> script;
    int signal;  // sent once the service holds a reply; 0: none
    int status;
    const char* lastLine;
  };
  const std::vector<Case> cases = {
      {"interrupted", {"wait-home"}, SIGINT, 130, "OrvaneVPN: session failed: interrupted by SIGINT"},
      {"terminated", {"wait-home"}, SIGTERM, 143, "OrvaneVPN: session failed: interrupted by SIGTERM"},
      {"at the end of its steps", {"wait 0.5"}, 0, 0, "OrvaneVPN: session ended"},
  };
  // as the program does: every thread but the watcher's leaves them to the watcher
  sigset_t ending;
  sigemptyset(&ending);
  sigaddset(&ending, SIGINT);
  sigaddset(&ending, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &ending, nullptr);
  for (const auto& c : cases) {
    fs::remove_all(device);
    std::atomic<bool> finished{false};
    std::atomic<Clock::rep> signalled{0};
    // the service writes its memory when the first request of a new install arrives
    const fs::path arrived = device / "local-service.json";
    std::thread sender([&] {
      if (c.signal == 0) return;
      while (!fs::exists(arrived) && !finished) std::this_thread::sleep_for(10ms);
      if (finished) return;
      std::this_thread::sleep_for(200ms);
      signalled = Clock::now().time_since_epoch().count();
      ::kill(::getpid(), c.signal);
    });
    const auto start = Clock::now();
    const auto outcome = run(c.script, false, [](LocalService& s) {
      s.setReplyDelay("new", 30s);
      s.setReplyDelay("sl", 30s);
    });
    const auto ended = Clock::now();
    finished = true;
    sender.join();
    // the held replies would take 30 s
    const auto from = c.signal ? Clock::time_point(Clock::duration(signalled.load())) : start;
    EXPECT_LT(ended - from, c.signal ? 3s : 5s) << c.name;
    EXPECT_EQ(outcome.status, c.status) << c.name << "\n" << outcome.err;
    EXPECT_EQ(outcome.lastLine(), c.lastLine) << c.name;
  }
}

// A device file that becomes unreadable once the device is open (here: before the application
// starts) ends the session at once with status 1 and one line naming it; the file stays as it was.
TEST_F(Session, AFileItsUserCannotReadEndsTheSessionAndStaysUntouched) {
  fs::remove_all(device);
  ASSERT_EQ(run({"wait-home"}, true).status, 0);
  const fs::path defaults = device / "Library" / "Preferences" / "com.orvane.vpn.json";
  ASSERT_TRUE(fs::is_regular_file(defaults));
  const std::string before = [&] {
    std::ifstream in(defaults, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();
  // permissions hold only for a user who is not root: the session runs as one in a child
  using platform::testing::kUnprivilegedUser;
  if (::geteuid() == 0)
    for (const auto& entry : fs::recursive_directory_iterator(device))
      ::lchown(entry.path().c_str(), kUnprivilegedUser, kUnprivilegedUser);
  if (::geteuid() == 0) ::lchown(device.c_str(), kUnprivilegedUser, kUnprivilegedUser);
  const fs::path errFile = fs::path(::testing::TempDir()) / ("orvane-session-err-" + std::to_string(::getpid()));
  const std::string status = platform::testing::runAsUnprivilegedUser([&] {
    const int err = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int out = ::open("/dev/null", O_WRONLY);
    if (err < 0 || out < 0 || ::dup2(err, 2) < 0 || ::dup2(out, 1) < 0) return std::string("cannot redirect");
    SessionOptions options;
    options.deviceDir = device;
    options.virtualTime = true;
    std::string why;
    options.steps = *orvane_session::parseScript({"wait-home", "wait-list"}, "the test's script", why);
    // the device is open and checked by now
    options.prepareService = [&](LocalService&) { ::chmod(defaults.c_str(), 0); };
    SignalWatcher signals;
    const int ended = orvane_session::runSession(options, "orvane", signals);
    std::fflush(stderr);
    return "status " + std::to_string(ended);
  });
  std::ifstream errIn(errFile);
  const std::string err((std::istreambuf_iterator<char>(errIn)), {});
  fs::remove(errFile);
  EXPECT_EQ(status, "status 1") << err;
  EXPECT_EQ(err, "orvane: cannot read " + defaults.string() + ": Permission denied\n");
  struct stat st {};
  ASSERT_EQ(::stat(defaults.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0u);
  ::chmod(defaults.c_str(), 0600);
  std::ifstream in(defaults, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before);
  EXPECT_FALSE(fs::exists(fs::path(defaults).concat(".damaged")));
}

TEST(SessionSignals, ASecondSignalEndsTheProgramAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const int signal : {SIGINT, SIGTERM}) {
    EXPECT_EXIT(
        {
          SignalWatcher watcher;
          watcher.setHandler([] {});  // the first only asks the session to end
          ::kill(::getpid(), signal);
          std::this_thread::sleep_for(300ms);
          ::kill(::getpid(), signal);
          std::this_thread::sleep_for(5s);
          std::exit(0);
        },
        ::testing::ExitedWithCode(128 + signal), "");
  }
}

TEST(SessionScript, BadLinesAreNamedAndTheSessionLimitFitsTheScript) {
  std::string why;
  EXPECT_FALSE(orvane_session::parseScript({"wait-home", std::string("fly\x01\xff", 5)}, "s", why));
  EXPECT_EQ(why, "s:2: unknown step \"fly\\x01\\xff\"");
  EXPECT_FALSE(orvane_session::parseScript({"pick 0"}, "s", why));
  EXPECT_FALSE(orvane_session::parseScript({"wait 3601"}, "s", why));

  auto steps = orvane_session::parseScript({"wait-home", "wait 1000", "pick 99999999999999999999999"}, "s", why);
  ASSERT_TRUE(steps) << why;
  EXPECT_GE(orvane_session::sessionLimitSeconds(*steps), 1000 + 2 * orvane_session::kStepLimitSeconds);
}

}  // namespace
