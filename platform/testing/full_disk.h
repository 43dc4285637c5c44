#pragma once

#include <filesystem>
#include <string>

namespace platform::testing {

// A disk that fills up as a given write reaches it: once filled, every SQLite write into a file
// whose path begins with `pathPrefix` and whose bytes carry the marker fails as on a full disk
// (SQLITE_FULL, "database or disk is full"); other writes go through. SQLite rolls the transaction
// back, so the file stays as it was. It stands in SQLite's default file layer for the whole test
// process: one at a time, made before and ended after the connections it should see.
class FullDisk {
 public:
  explicit FullDisk(std::filesystem::path pathPrefix);
  // From now on, writes carrying `marker` fail.
  void fillAt(std::string marker);
  ~FullDisk();
  FullDisk(const FullDisk&) = delete;
  FullDisk& operator=(const FullDisk&) = delete;

  // How many writes have failed so far.
  int failedWrites() const;
};

}  // namespace platform::testing
