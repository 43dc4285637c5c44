#include "app/device_model.h"

#include <memory>

#include "platform/foundation/process.h"
#include "shared_library/support/device_model.h"

namespace OrvaneVPN {

namespace {

// Its own one-time value, not the library's.
struct ComputedModelName {
  std::string name = modelNameForIdentifier(LKSCommon::machineIdentifier());
};

}  // namespace

std::string deviceModelName() {
  return platform::Process::current()
      .shared<ComputedModelName>([] { return std::make_shared<ComputedModelName>(); })
      ->name;
}

// Built against the library's single table, so the two cannot drift apart.
std::string modelNameForIdentifier(const std::string& identifier) {
  return LKSCommon::modelNameForIdentifier(identifier);
}

}  // namespace OrvaneVPN
