#pragma once

#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/foundation/bytes.h"
#include "platform/network/url_session.h"

// The remote configuration's payload, still enciphered: the UTF-8 bytes of its Base64 text, in
// memory and in the file "keys" of the application's temporary directory.
class AFL_PREFIXDevice {
 public:
  // A file larger than this is not ours; it counts as missing. Any payload the exchange brings
  // is smaller (it came inside a reply body), so what was cached is read back.
  static constexpr std::uintmax_t kMaximumFileBytes = platform::kDefaultMaximumResponseBodyBytes;

  AFL_PREFIXDevice();

  // Reads the cache file: when it exists, the payload becomes its content; otherwise it stays as
  // it is.
  void qv_count();
  // A text becomes its UTF-8 bytes, bytes stay bytes (a JSON byte array); anything else is ignored.
  void qv_extend(const std::optional<nlohmann::json>& value);
  void qv_extend(const platform::Bytes& bytes);
  void qv_extend(platform::Bytes&& bytes);
  // Writes the payload, when there is one, to the cache file as a complete new file; a write
  // error is ignored.
  void qv_load();
  std::optional<platform::Bytes> qv_list() const;
  // The payload as it is held, without a copy, or none.
  std::shared_ptr<const platform::Bytes> payload() const;

  // The configuration the payload holds, deciphered under that key: a JSON object, or none when
  // there is no payload or it holds no object. Read once per payload and key; a new payload
  // brings a new reading, so the answer is always what reading the payload now would give.
  std::shared_ptr<const nlohmann::json> configuration(const std::string& key) const;

  std::filesystem::path filePath() const { return path_; }

 private:
  struct Reading {
    std::shared_ptr<const platform::Bytes> payload;
    std::string key;
    std::shared_ptr<const nlohmann::json> configuration;
  };

  void replace(std::shared_ptr<const platform::Bytes> bytes);

  std::filesystem::path path_;
  std::mutex writeMutex_;
  mutable std::mutex mutex_;
  std::shared_ptr<const platform::Bytes> resExts_;
  // the last reading, of resExts_ or of a payload it has since replaced
  mutable std::shared_ptr<const Reading> reading_;
};
