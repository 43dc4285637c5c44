#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>

#include <nlohmann/json.hpp>

#include "platform/foundation/bytes.h"

// The remote configuration's payload, still enciphered: the UTF-8 bytes of its Base64 text, in
// memory and in the file "keys" of the application's temporary directory.
class AFL_PREFIXDevice {
 public:
  // A file larger than this is not ours; it counts as missing.
  static constexpr std::uintmax_t kMaximumFileBytes = 4 * 1024 * 1024;

  AFL_PREFIXDevice();

  // When the cache file exists, the payload becomes its content; otherwise it stays as it is.
  void qv_count();
  // A text becomes its UTF-8 bytes, bytes stay bytes (a JSON byte array); anything else is ignored.
  void qv_extend(const std::optional<nlohmann::json>& value);
  void qv_extend(const platform::Bytes& bytes);
  // Writes the payload, when there is one, as a complete new file; a write error is ignored.
  void qv_load();
  std::optional<platform::Bytes> qv_list() const;

  std::filesystem::path filePath() const { return path_; }

 private:
  std::filesystem::path path_;
  std::mutex writeMutex_;
  mutable std::mutex mutex_;
  std::shared_ptr<const platform::Bytes> resExts_;
};
