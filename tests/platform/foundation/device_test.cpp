#include "platform/foundation/device.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/foundation/files.h"
#include "platform/foundation/process.h"
#include "platform/foundation/user_defaults.h"
#include "platform/network_extension/vpn_facility.h"
#include "platform/security/keychain.h"
#include "platform/uikit/application.h"
#include "platform/testing/unprivileged.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

using testing::kUnprivilegedUser;

std::string text(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void write(const fs::path& p, const std::string& content) { std::ofstream(p, std::ios::binary) << content; }

unsigned modeOf(const fs::path& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0xFFFFu;
}

void giveTo(const fs::path& p, uid_t user) {
  ASSERT_EQ(::lchown(p.c_str(), user, user), 0) << p;
  if (!fs::is_directory(fs::symlink_status(p))) return;
  for (const auto& entry : fs::recursive_directory_iterator(p))
    ASSERT_EQ(::lchown(entry.path().c_str(), user, user), 0);
}

// What lies outside the device: a folder holding one file, both open to everyone.
std::string outsideSnapshot(const fs::path& outside) {
  std::string out = std::to_string(modeOf(outside));
  for (const auto& entry : fs::directory_iterator(outside))
    out +=
        "|" + entry.path().filename().string() + ":" + std::to_string(modeOf(entry.path())) + ":" + text(entry.path());
  return out;
}

// A fresh device laid out by an earlier open, an outside folder beside it, all reachable for the
// unprivileged user.
struct Layout {
  fs::path base, root, outside;
  Layout() {
    base = fs::path(::testing::TempDir()) / ("orvane-device-files-" + std::to_string(::getpid()));
    fs::remove_all(base);
    root = base / "device";
    outside = base / "outside";
    fs::create_directories(outside);
    write(outside / "file", "outside");
    fs::permissions(base, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    fs::permissions(outside, fs::perms::all & ~fs::perms::others_write & ~fs::perms::group_write);
    fs::permissions(outside / "file",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    Device::open(root);
  }
  ~Layout() { fs::remove_all(base); }
};

// unchecked: a file whose read errors are not the device's to judge (a cache, SQLite's journal)
enum class Kind { file, unchecked, lock, folder };

struct Entry {
  const char* path;  // inside the device
  Kind kind;
};

const std::vector<Entry>& entries() {
  static const std::vector<Entry> all = {
      {"keychain.sqlite", Kind::file},
      {"keychain.sqlite-journal", Kind::unchecked},  // SQLite's: only what stands in its way is moved
      {"Library/Preferences/com.example.orvane.json", Kind::file},
      {"vpn-preferences.json", Kind::file},
      {"identifier-for-vendor", Kind::file},
      {"tmp/keys", Kind::unchecked},
      {".device-lock", Kind::lock},
      {"tmp", Kind::folder},
      {"Library", Kind::folder},
      {"Library/Preferences", Kind::folder},
  };
  return all;
}

Process::Options quiet() {
  Process::Options options;
  options.echoConsole = false;
  return options;
}

std::vector<std::string> lines(const std::string& out) {
  std::vector<std::string> all;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) all.push_back(line);
  return all;
}

// One table over the device's files and folders: a link to something outside, the wrong kind of
// entry, one its user cannot read, and temporaries of a write that was killed.
TEST(DeviceFiles, OpeningKeepsEverythingInsideAndStopsOnlyOnWhatCannotBeRead) {
  for (const auto& e : entries()) {
    SCOPED_TRACE(e.path);
    const bool folder = e.kind == Kind::folder;

    {  // a symbolic link to outside is kept aside; nothing outside is made, written or changed
      Layout l;
      const fs::path at = l.root / e.path;
      fs::remove_all(at);
      fs::create_symlink(folder ? l.outside : l.outside / "file", at);
      const auto before = outsideSnapshot(l.outside);
      ::testing::internal::CaptureStdout();
      EXPECT_NO_THROW(Device::open(l.root));
      const auto printed = lines(::testing::internal::GetCapturedStdout());
      EXPECT_EQ(outsideSnapshot(l.outside), before);
      const fs::path aside = fs::path(at).concat(".damaged");
      std::error_code ec;
      EXPECT_EQ(fs::read_symlink(aside, ec), folder ? l.outside : l.outside / "file");
      EXPECT_EQ(printed.size(), 1u) << ::testing::PrintToString(printed);
      EXPECT_EQ(
          printed.empty()
              ? std::string::npos
              : printed[0].rfind(
                    "Device: " + at.string() + " is damaged (it is a symbolic link); kept it as " + aside.string(), 0),
          0u)
          << ::testing::PrintToString(printed);
      if (folder) {
        EXPECT_TRUE(fs::is_directory(fs::symlink_status(at)));
        EXPECT_EQ(modeOf(at), 0700u);
      } else if (e.kind == Kind::lock) {
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(at)));
      } else {
        EXPECT_FALSE(fs::exists(fs::symlink_status(at)));  // its store starts afresh
      }
    }

    if (e.kind != Kind::file) {  // a file where a folder belongs, a folder where a file belongs
      Layout l;
      const fs::path at = l.root / e.path;
      fs::remove_all(at);
      if (folder) {
        write(at, "in the way");
      } else {
        fs::create_directory(at);
        write(at / "inside", "x");
      }
      ::testing::internal::CaptureStdout();
      EXPECT_NO_THROW(Device::open(l.root));
      const auto printed = lines(::testing::internal::GetCapturedStdout());
      const fs::path aside = fs::path(at).concat(".damaged");
      EXPECT_EQ(folder ? text(aside) : text(aside / "inside"), folder ? "in the way" : "x");
      EXPECT_EQ(printed.size(), 1u) << ::testing::PrintToString(printed);
      if (folder) {
        EXPECT_TRUE(fs::is_directory(fs::symlink_status(at)));
      }
    }

    {  // one its user cannot read
      Layout l;
      const fs::path at = l.root / e.path;
      if (!folder) write(at, "kept");
      giveTo(l.root, kUnprivilegedUser);
      ASSERT_EQ(::chmod(at.c_str(), 0), 0);
      const std::string result = testing::runAsUnprivilegedUser([&] {
        Device::open(l.root);
        return std::string("opened");
      });
      const std::string expected =
          e.kind == Kind::file ? "threw: cannot use the device directory \"" + l.root.string() +
                                     "\": " + unreadableLine(at, "Permission denied")
          : e.kind == Kind::lock ? "threw: cannot use the device directory \"" + l.root.string() +
                                       "\": cannot open its lock file " + at.string() + ": Permission denied"
                                 : std::string("opened");  // a cache is refetched; a folder is ours to mend
      EXPECT_EQ(result, expected);
      EXPECT_EQ(modeOf(at), folder ? 0700u : 0u);
      EXPECT_FALSE(fs::exists(fs::symlink_status(fs::path(at).concat(".damaged"))));
      ASSERT_EQ(::chmod(at.c_str(), folder ? 0700 : 0600), 0);
      if (!folder) {
        EXPECT_EQ(text(at), "kept");
      }
    }

    {  // temporaries of a write killed midway go; those of a live process stay
      Layout l;
      const fs::path at = l.root / e.path;
      const fs::path dir = folder ? at : at.parent_path();
      const std::string name = folder ? "inside" : at.filename().string();
      const pid_t dead = ::fork();
      if (dead == 0) ::_exit(0);
      ::waitpid(dead, nullptr, 0);
      const fs::path left = dir / ("." + name + ".tmp." + std::to_string(dead) + ".3");
      const fs::path live = dir / ("." + name + ".tmp." + std::to_string(::getppid()) + ".0");
      const fs::path own = dir / ("." + name + ".tmp." + std::to_string(::getpid()) + ".1");
      const fs::path unlike = dir / ("." + name + ".tmp.x" + std::to_string(dead) + ".3");
      for (const auto& p : {left, live, own, unlike}) write(p, "half");
      EXPECT_NO_THROW(Device::open(l.root));
      EXPECT_FALSE(fs::exists(left));
      for (const auto& p : {live, own, unlike}) EXPECT_TRUE(fs::exists(p)) << p;
    }
  }
}

// The device directory itself may be a link the user chose: it is followed, and works.
TEST(DeviceFiles, TheDeviceDirectoryMayBeALink) {
  Layout l;
  const fs::path link = l.base / "chosen";
  fs::create_symlink(l.root, link);
  ::testing::internal::CaptureStdout();
  {
    auto device = Device::open(link);
    auto process = Process::launch(device, quiet());
    EXPECT_EQ(SecItemAdd({{kSecClass, PlistValue(kSecClassGenericPassword)},
                          {kSecAttrAccount, PlistValue(toBytes("a"))},
                          {kSecValueData, PlistValue(toBytes("v"))}},
                         nullptr),
              errSecSuccess);
  }
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(l.root / "keychain.sqlite")));
}

// A file that cannot be read once the device is open (it was made unreadable since) is left as
// it is, never saved over, and the process is told so it can end.
TEST(DeviceFiles, AStoreLeavesAFileItCannotReadAndTheProcessIsTold) {
  struct Case {
    const char* path;
    std::function<void()> use;  // reads the file, then tries to change what it holds
  };
  const std::vector<Case> cases = {
      {"Library/Preferences/com.example.orvane.json",
       [] { UserDefaults::suite("com.example.orvane")->setObject(PlistValue(std::string("new")), "k"); }},
      {"vpn-preferences.json", [] { detail::VPNFacility::current(); }},
      {"identifier-for-vendor", [] { UIDevice::currentDevice().identifierForVendor(); }},
      {"keychain.sqlite",
       [] {
         SecItemAdd({{kSecClass, PlistValue(kSecClassGenericPassword)},
                     {kSecAttrAccount, PlistValue(toBytes("a"))},
                     {kSecValueData, PlistValue(toBytes("v"))}},
                    nullptr);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    Layout l;
    const fs::path at = l.root / c.path;
    write(at, "kept");
    giveTo(l.root, kUnprivilegedUser);
    const std::string reported = testing::runAsUnprivilegedUser([&] {
      auto device = Device::open(l.root);
      if (::chmod(at.c_str(), 0) != 0) return std::string("cannot chmod");
      auto process = Process::launch(device, quiet());
      c.use();
      return process->unusableDeviceFile().value_or("(nothing reported)");
    });
    EXPECT_EQ(reported, unreadableLine(at, "Permission denied"));
    EXPECT_EQ(modeOf(at), 0u);
    ASSERT_EQ(::chmod(at.c_str(), 0600), 0);
    EXPECT_EQ(text(at), "kept");
    EXPECT_FALSE(fs::exists(fs::symlink_status(fs::path(at).concat(".damaged"))));
  }
}

}  // namespace
}  // namespace platform
