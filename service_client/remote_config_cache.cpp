#include "service_client/remote_config_cache.h"

#include <utility>

#include "platform/foundation/files.h"
#include "platform/foundation/json.h"
#include "service_client/protocol_literals.h"
#include "service_client/string_cipher.h"

namespace {

std::shared_ptr<const nlohmann::json> read(const platform::Bytes& payload, const std::string& key) {
  const std::string_view text = platform::asText(payload);
  // the lenient decoder would skip stray bytes and decipher a damaged file anyway
  if (!platform::isValidUTF8(text)) return nullptr;
  const auto plain = QVExtStore::remove(text, key);
  if (!plain) return nullptr;
  auto parsed = platform::JSONObjectWithData(*plain);
  if (!parsed.value || !parsed.value->is_object()) return nullptr;
  return std::make_shared<const nlohmann::json>(std::move(*parsed.value));
}

}  // namespace

AFL_PREFIXDevice::AFL_PREFIXDevice() : path_(platform::temporaryDirectory() / qv_literal::cacheFileName()) {}

void AFL_PREFIXDevice::qv_count() {
  // a link planted in our directory must not make us read someone else's file
  auto content = platform::readFile(path_, {.followSymbolicLink = false, .maximumBytes = kMaximumFileBytes});
  if (!content) return;
  replace(std::make_shared<const platform::Bytes>(std::move(*content)));
}

void AFL_PREFIXDevice::qv_extend(const std::optional<nlohmann::json>& value) {
  if (!value) return;
  if (value->is_string()) {
    qv_extend(platform::toBytes(value->get_ref<const std::string&>()));
  } else if (value->is_binary()) {
    qv_extend(platform::Bytes(value->get_binary().begin(), value->get_binary().end()));
  }
}

void AFL_PREFIXDevice::qv_extend(const platform::Bytes& bytes) {
  replace(std::make_shared<const platform::Bytes>(bytes));
}

void AFL_PREFIXDevice::qv_extend(platform::Bytes&& bytes) {
  replace(std::make_shared<const platform::Bytes>(std::move(bytes)));
}

void AFL_PREFIXDevice::replace(std::shared_ptr<const platform::Bytes> bytes) {
  // what is replaced is released after the lock
  std::shared_ptr<const platform::Bytes> oldBytes;
  std::shared_ptr<const Reading> oldReading;
  std::lock_guard lock(mutex_);
  oldBytes = std::exchange(resExts_, std::move(bytes));
  oldReading = std::exchange(reading_, nullptr);
}

void AFL_PREFIXDevice::qv_load() {
  // one writer at a time, so the file always ends with the newest payload
  std::lock_guard writing(writeMutex_);
  const auto bytes = payload();
  if (!bytes) return;
  platform::writeFileAtomically(path_, *bytes);
}

std::optional<platform::Bytes> AFL_PREFIXDevice::qv_list() const {
  std::lock_guard lock(mutex_);
  if (!resExts_) return std::nullopt;
  return *resExts_;
}

std::shared_ptr<const platform::Bytes> AFL_PREFIXDevice::payload() const {
  std::lock_guard lock(mutex_);
  return resExts_;
}

std::shared_ptr<const nlohmann::json> AFL_PREFIXDevice::configuration(const std::string& key) const {
  std::shared_ptr<const platform::Bytes> bytes;
  std::shared_ptr<const Reading> last;
  {
    std::lock_guard lock(mutex_);
    bytes = resExts_;
    last = reading_;
  }
  if (!bytes) return nullptr;
  // the reading holds its payload, so the same address is the same bytes
  if (last && last->payload == bytes && last->key == key) return last->configuration;
  auto fresh = std::make_shared<const Reading>(Reading{bytes, key, read(*bytes, key)});
  {
    std::lock_guard lock(mutex_);
    if (resExts_ == bytes) last = std::exchange(reading_, fresh);
  }
  return fresh->configuration;
}
