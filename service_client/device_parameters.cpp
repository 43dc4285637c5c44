// The device facts every call carries, and the tunnel-active test.
#include <cctype>
#include <cstring>

#include "platform/foundation/bundle.h"
#include "platform/foundation/bytes.h"
#include "platform/foundation/locale.h"
#include "platform/foundation/process.h"
#include "platform/system/system_info.h"
#include "service_client/protocol_literals.h"
#include "service_client/service_exchange.h"

namespace {

// The leading number of a version text ("10.3.1" counts as 10.3); 0 when it begins otherwise.
double leadingNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  double whole = 0;
  bool digits = false;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i, digits = true)
    whole = whole * 10 + (text[i] - '0');
  double fraction = 0;
  if (i < text.size() && text[i] == '.') {
    double scale = 0.1;
    for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i, scale /= 10, digits = true)
      fraction += (text[i] - '0') * scale;
  }
  return digits ? whole + fraction : 0;
}

bool looksLikeTunnel(const std::string& name) {
  for (const auto& part : {qv_literal::tap(), qv_literal::tun(), qv_literal::ipsec(), qv_literal::ppp()})
    if (name.find(part) != std::string::npos) return true;
  return false;
}

}  // namespace

nlohmann::json QVServerConnect::callNext() const {
  nlohmann::json p = nlohmann::json::object();
  {
    std::lock_guard lock(mutex_);
    if (esList_) p[qv_literal::ap()] = *esList_;
  }
  p[qv_literal::d1()] = platform::UIDeviceInfo::name();
  p[qv_literal::sv()] = platform::UIDeviceInfo::systemVersion();
  const auto id = platform::systemIdentification();
  p[qv_literal::d2()] = platform::repairedUTF8(std::string(id.machine.data(), ::strnlen(id.machine.data(), id.machine.size())));
  const auto localizations = platform::Bundle::main()->preferredLocalizations();
  if (!localizations.empty()) p[qv_literal::lan()] = localizations.front();
  if (const auto region = platform::Locale::current().regionCode()) {
    p[qv_literal::lc1()] = *region;
    if (auto name = platform::Locale(qv_literal::enUS()).localizedStringForRegionCode(*region))
      p[qv_literal::lc2()] = *name;
  }
  const auto zone = platform::TimeZone::local().identifier();
  if (!zone.empty()) p[qv_literal::zone()] = zone;
  p[qv_literal::n1()] = isLoading() ? "1" : "0";
  platform::DateFormatter formatter;
  formatter.dateStyle = platform::DateFormatter::Style::Short;
  formatter.timeStyle = platform::DateFormatter::Style::Long;
  p[qv_literal::tm()] = formatter.stringFromDate(platform::Process::current().clock().wallNow());
  return p;
}

bool QVServerConnect::isLoading() {
  if (leadingNumber(platform::UIDeviceInfo::systemVersion()) >= 9) {
    const auto settings = platform::copySystemProxySettings();
    const auto scoped = settings.find(qv_literal::scoped());
    if (scoped == settings.end()) return false;
    const auto* interfaces = scoped->second.asDictionary();
    if (!interfaces) return false;
    for (const auto& [name, value] : *interfaces)
      if (looksLikeTunnel(name)) return true;
    return false;
  }
  const auto names = platform::networkInterfaceNames();
  if (!names) return false;
  for (const auto& name : *names)
    if (looksLikeTunnel(name)) return true;
  return false;
}
