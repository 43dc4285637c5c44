#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "platform/foundation/files.h"
#include "platform/testing/sandbox.h"

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

TEST(Files, WriteIntoMissingDirectoryFailsWithAReason) {
  testing::Sandbox s;
  std::string error;
  EXPECT_FALSE(writeFileAtomically(temporaryDirectory() / "no" / "such", std::string("x"), &error));
  EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
}

}  // namespace
}  // namespace platform
