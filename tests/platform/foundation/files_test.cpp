#include "platform/foundation/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/testing/sandbox.h"
#include "platform/testing/unprivileged.h"

namespace platform {
namespace {

TEST(Files, TemporaryDirectoryIsPrivateToTheApplication) {
  testing::Sandbox s;
  const auto dir = temporaryDirectory();
  EXPECT_EQ(dir, s.device().temporaryDirectory());
  struct stat st {};
  ASSERT_EQ(::stat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(Files, WholeFileReadAndAtomicReplace) {
  testing::Sandbox s;
  const auto path = temporaryDirectory() / "keys";
  EXPECT_FALSE(readFile(path));
  EXPECT_FALSE(readFile(temporaryDirectory()));  // a directory is not a file
  ASSERT_TRUE(writeFileAtomically(path, std::string("first")));
  ASSERT_TRUE(writeFileAtomically(path, Bytes{'s', 0, 'x'}));
  EXPECT_EQ(readFile(path), (Bytes{'s', 0, 'x'}));
  ASSERT_TRUE(writeFileAtomically(path, std::string()));
  EXPECT_EQ(readFile(path), Bytes{});
  s.relaunch();
  EXPECT_EQ(readFile(path), Bytes{});
}

TEST(Files, ReadLimitsRefuseLinksAndLargeFiles) {
  testing::Sandbox s;
  const auto target = temporaryDirectory() / "target";
  const auto link = temporaryDirectory() / "link";
  ASSERT_TRUE(writeFileAtomically(target, std::string("12345")));
  std::filesystem::create_symlink(target, link);
  EXPECT_EQ(readFile(link), toBytes("12345"));
  EXPECT_FALSE(readFile(link, {.followSymbolicLink = false, .maximumBytes = std::nullopt}));
  EXPECT_EQ(readFile(target, {.followSymbolicLink = false, .maximumBytes = 5}), toBytes("12345"));
  EXPECT_FALSE(readFile(target, {.maximumBytes = 4}));
  const auto fifo = temporaryDirectory() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(readFile(fifo));  // at once, not waiting for a writer
}

TEST(Files, ReadTellsMissingUnreadableAndDamagedApart) {
  namespace fs = std::filesystem;
  testing::Sandbox s;
  const auto dir = temporaryDirectory();
  ASSERT_TRUE(writeFileAtomically(dir / "file", std::string("12345")));
  fs::create_symlink(dir / "file", dir / "link");
  fs::create_directory(dir / "folder");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  ASSERT_TRUE(writeFileAtomically(dir / "locked", std::string("kept")));
  ASSERT_EQ(::chmod((dir / "locked").c_str(), 0), 0);
  const ReadLimits device{.followSymbolicLink = false, .maximumBytes = 4};
  struct Case {
    const char* name;
    ReadFault fault;
    std::string why;
  };
  const std::vector<Case> cases = {
      {"missing", ReadFault::missing, "No such file or directory"},
      {"link", ReadFault::damaged, "it is a symbolic link"},
      {"folder", ReadFault::damaged, "it is not a regular file"},
      {"fifo", ReadFault::damaged, "it is not a regular file"},
      {"file", ReadFault::damaged, "it is larger than 4 bytes"},
  };
  for (const auto& c : cases) {
    std::string why;
    ReadFault fault = ReadFault::unreadable;
    EXPECT_FALSE(readFile(dir / c.name, device, &why, &fault)) << c.name;
    EXPECT_EQ(fault, c.fault) << c.name;
    EXPECT_EQ(why, c.why) << c.name;
  }
  // permissions hold only for a user who is not root: read in a child as one, who can reach the
  // folder and read the other files in it
  for (fs::path p = dir; p != s.device().root().parent_path().parent_path(); p = p.parent_path())
    fs::permissions(p, fs::perms::owner_all | fs::perms::others_exec);
  ASSERT_EQ(::chmod((dir / "file").c_str(), 0644), 0);
  const std::string result = testing::runAsUnprivilegedUser([&] {
    if (!readFile(dir / "file")) return std::string("cannot read a readable file");
    std::string why;
    ReadFault fault = ReadFault::missing;
    if (readFile(dir / "locked", device, &why, &fault)) return std::string("read a locked file");
    return std::string(fault == ReadFault::unreadable ? "unreadable: " : "other: ") + why;
  });
  EXPECT_EQ(result, "unreadable: Permission denied");
}

TEST(Files, WriteIntoMissingDirectoryFailsWithAReason) {
  testing::Sandbox s;
  std::string error;
  EXPECT_FALSE(writeFileAtomically(temporaryDirectory() / "no" / "such", std::string("x"), &error));
  EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
}

}  // namespace
}  // namespace platform
