#include "shared_library/support/utility_wrapper.h"

#include <cstdint>

#include "service_client/remote_config.h"
#include "service_client/service_exchange.h"
#include "service_client/string_cipher.h"

std::optional<nlohmann::json> UtilityWrapper::valueForEventKey(const std::optional<std::string>& key) {
  return QVServerConnect::hasResponse(key);
}

bool UtilityWrapper::isValueAvailableForEventKey(const std::optional<std::string>& key) {
  const auto value = valueForEventKey(key);
  if (!value) return false;
  switch (value->type()) {
    case nlohmann::json::value_t::boolean:
      return value->get<bool>();
    case nlohmann::json::value_t::number_integer:
      return value->get<std::int64_t>() != 0;
    case nlohmann::json::value_t::number_unsigned:
      return value->get<std::uint64_t>() != 0;
    case nlohmann::json::value_t::number_float:
      return value->get<double>() != 0.0;
    case nlohmann::json::value_t::string:
      return textBoolValue(value->get_ref<const std::string&>());
    default:
      return false;
  }
}

bool UtilityWrapper::textBoolValue(const std::string& text) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; };
  size_t i = 0;
  while (i < text.size() && isSpace(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  while (i < text.size() && text[i] == '0') ++i;
  if (i == text.size()) return false;
  const char c = text[i];
  return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

std::string UtilityWrapper::updateEventsNotificationName() { return QVCtrl::kUpdateNotificationName; }

std::string UtilityWrapper::encodeString(const std::optional<std::string>& text,
                                         const std::optional<std::string>& key) {
  return QVExtStore::qv_add(text, key);
}

std::optional<std::string> UtilityWrapper::decodeString(const std::optional<std::string>& text,
                                                        const std::optional<std::string>& key) {
  return QVExtStore::qv_remove(text, key);
}
