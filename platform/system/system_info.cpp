#include "platform/system/system_info.h"

#include <ifaddrs.h>

#include <algorithm>

#include "platform/foundation/bytes.h"
#include "platform/foundation/process.h"

namespace platform {

// Profile texts reach the system as UTF-8, whatever a test or driver put there.
std::string UIDeviceInfo::name() { return repairedUTF8(Process::current().device().profile().name); }

std::string UIDeviceInfo::systemVersion() {
  return repairedUTF8(Process::current().device().profile().systemVersion);
}

SystemIdentification systemIdentification() {
  SystemIdentification id;
  const auto machine = Process::current().device().profile().machine;
  // the last byte always stays zero, as the C field guarantees
  std::copy_n(machine.begin(), std::min(machine.size(), id.machine.size() - 1), id.machine.begin());
  return id;
}

std::optional<std::string> environmentValue(const std::string& name) {
  const auto profile = Process::current().device().profile();
  auto it = profile.environment.find(name);
  if (it == profile.environment.end()) return std::nullopt;
  return repairedUTF8(it->second);
}

PlistValue::Dictionary copySystemProxySettings() {
  PlistValue::Dictionary scoped;
  for (const auto& name : Process::current().device().profile().scopedProxyInterfaces)
    scoped.emplace(name, PlistValue(PlistValue::Dictionary{}));
  return PlistValue::Dictionary{
      {"__SCOPED__", PlistValue(std::move(scoped))},
      {"HTTPEnable", PlistValue(0)},
      {"HTTPSEnable", PlistValue(0)},
  };
}

std::optional<std::vector<std::string>> networkInterfaceNames() {
  if (auto names = Process::current().device().profile().networkInterfaces) return names;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return std::nullopt;
  std::vector<std::string> names;
  for (auto* a = list; a; a = a->ifa_next)
    if (a->ifa_name) names.emplace_back(a->ifa_name);
  freeifaddrs(list);
  return names;
}

}  // namespace platform
