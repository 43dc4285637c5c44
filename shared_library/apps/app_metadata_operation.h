#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/foundation/bytes.h"
#include "platform/foundation/error.h"
#include "platform/network/url.h"
#include "platform/network/url_session.h"
#include "shared_library/apps/async_operation.h"
#include "shared_library/apps/native_app_data.h"

// Information key of the store look-up service's base address ("https://host[:port]"), a
// deployment constant like the service host.
inline constexpr const char* kStoreLookupBaseInfoKey = "OrvaneStoreLookupBase";

class AppMetadataOperationDelegate {
 public:
  virtual ~AppMetadataOperationDelegate() = default;
  // On the thread where the look-up ended.
  virtual void didFinishLoadingAppMetadata() = 0;
};

// The store look-up of one of the maker's applications: fills the record's name, rating and
// artwork address, then reports to its delegate.
class AppMetadataOperation : public AsyncOperation {
 public:
  static constexpr double kTimeout = 60.0;

  // A record is required (a programming error without one).
  explicit AppMetadataOperation(std::shared_ptr<NativeAppData> appData);

  std::weak_ptr<AppMetadataOperationDelegate> delegate() const;
  void setDelegate(std::weak_ptr<AppMetadataOperationDelegate> delegate);
  const std::shared_ptr<NativeAppData>& appData() const { return appData_; }

  // The look-up address for a store identifier: the main bundle's look-up base, "/lookup?id=",
  // the identifier. None when the identifier holds anything but unreserved URL characters or
  // the address does not parse.
  static std::optional<platform::URL> lookupURL(const std::string& storeID);

  void main() override;
  // Reached only by a cancelled operation: it reports its end too, once.
  void finish() override;

 private:
  void handleReply(const std::optional<platform::Bytes>& body, const std::optional<platform::HTTPURLResponse>& response,
                   const std::optional<platform::Error>& error);
  void fill(const nlohmann::json& result);
  void finishAndReport();
  void report();

  mutable std::mutex mutex_;
  std::weak_ptr<AppMetadataOperationDelegate> delegate_;
  const std::shared_ptr<NativeAppData> appData_;
};
