#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform/foundation/queues.h"
#include "platform/testing/sandbox.h"
#include "service_client/exchange_key.h"
#include "shared_library/apps/app_metadata_operation.h"
#include "tools/local_service.h"

namespace apps_testing {

// A sandbox whose application looks up the store (and talks to the service) on this local
// service, trusting its certificate.
inline platform::testing::Sandbox::Options optionsFor(const orvane_service::LocalService& service) {
  platform::testing::Sandbox::Options options;
  options.profile.extraCertificateAuthorityFile = service.certificateFile();
  options.bundle.info[kServiceHostInfoKey] = platform::PlistValue(service.host());
  options.bundle.info[kStoreLookupBaseInfoKey] = platform::PlistValue(service.storeLookupBase());
  return options;
}

// Counts reports and where they came from.
class CountingDelegate : public AppMetadataOperationDelegate {
 public:
  void didFinishLoadingAppMetadata() override {
    if (platform::isMainThread()) onMain.fetch_add(1);
    reports.fetch_add(1);
  }
  std::atomic<int> reports{0};
  std::atomic<int> onMain{0};
};

}  // namespace apps_testing
