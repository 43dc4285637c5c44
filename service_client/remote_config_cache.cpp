#include "service_client/remote_config_cache.h"

#include "platform/foundation/files.h"
#include "service_client/protocol_literals.h"

AFL_PREFIXDevice::AFL_PREFIXDevice() : path_(platform::temporaryDirectory() / qv_literal::cacheFileName()) {}

void AFL_PREFIXDevice::qv_count() {
  // a link planted in our directory must not make us read someone else's file
  auto content = platform::readFile(path_, {.followSymbolicLink = false, .maximumBytes = kMaximumFileBytes});
  if (!content) return;
  auto bytes = std::make_shared<const platform::Bytes>(std::move(*content));
  std::lock_guard lock(mutex_);
  resExts_ = std::move(bytes);
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
  auto copy = std::make_shared<const platform::Bytes>(bytes);
  std::lock_guard lock(mutex_);
  resExts_ = std::move(copy);
}

void AFL_PREFIXDevice::qv_load() {
  // one writer at a time, so the file always ends with the newest payload
  std::lock_guard writing(writeMutex_);
  const auto bytes = [&] {
    std::lock_guard lock(mutex_);
    return resExts_;
  }();
  if (!bytes) return;
  platform::writeFileAtomically(path_, *bytes);
}

std::optional<platform::Bytes> AFL_PREFIXDevice::qv_list() const {
  std::lock_guard lock(mutex_);
  if (!resExts_) return std::nullopt;
  return *resExts_;
}
