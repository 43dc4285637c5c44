#include "shared_library/apps/app_metadata_operation.h"

#include <cmath>
#include <utility>

#include "platform/foundation/bundle.h"
#include "platform/foundation/console.h"
#include "platform/foundation/json.h"
#include "platform/foundation/queues.h"

using nlohmann::json;

namespace {

bool isUnreserved(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_' || c == '~';
}

std::optional<std::string> textAt(const json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end() || !it->is_string()) return std::nullopt;
  return it->get<std::string>();
}

}  // namespace

AppMetadataOperation::AppMetadataOperation(std::shared_ptr<NativeAppData> appData) : appData_(std::move(appData)) {
  if (!appData_) platform::fatalError("AppMetadataOperation needs an application record");
}

std::weak_ptr<AppMetadataOperationDelegate> AppMetadataOperation::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_;
}

void AppMetadataOperation::setDelegate(std::weak_ptr<AppMetadataOperationDelegate> delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = std::move(delegate);
}

std::optional<platform::URL> AppMetadataOperation::lookupURL(const std::string& storeID) {
  for (char c : storeID)
    if (!isUnreserved(c)) return std::nullopt;
  const auto base = platform::Bundle::main()->infoString(kStoreLookupBaseInfoKey);
  if (!base) return std::nullopt;
  return platform::URL::parse(*base + "/lookup?id=" + storeID);
}

void AppMetadataOperation::report() {
  if (auto d = delegate().lock()) d->didFinishLoadingAppMetadata();
}

void AppMetadataOperation::finishAndReport() {
  setState(OperationState::finished);
  report();
}

void AppMetadataOperation::finish() {
  AsyncOperation::finish();
  report();
}

void AppMetadataOperation::main() {
  AsyncOperation::main();
  if (operationState() == OperationState::finished) return;  // cancelled: finished and reported, nothing sent

  const auto storeID = appData_->storeID();
  if (!storeID) {
    finishAndReport();
    return;
  }
  if (appData_->artworkURL()) {
    platform::DispatchQueue::main().async(
        [self = std::static_pointer_cast<AppMetadataOperation>(shared_from_this())] { self->finishAndReport(); });
    return;
  }
  // an identifier that cannot make an address would otherwise hold its queue slot for ever
  const auto url = lookupURL(*storeID);
  if (!url) {
    finishAndReport();
    return;
  }
  platform::URLRequest request(*url);
  request.timeoutInterval = kTimeout;
  auto task = platform::URLSession::sharedSession()->dataTaskWithRequest(
      std::move(request), [self = std::static_pointer_cast<AppMetadataOperation>(shared_from_this())](
                              auto body, auto response, auto error) { self->handleReply(body, response, error); });
  task->resume();
}

void AppMetadataOperation::handleReply(const std::optional<platform::Bytes>& body,
                                       const std::optional<platform::HTTPURLResponse>& response,
                                       const std::optional<platform::Error>& error) {
  if (!body || !response || error || response->statusCode() < 200 || response->statusCode() > 299) {
    finishAndReport();
    return;
  }
  // the platform's reader without fragments: a bare scalar is no JSON
  const auto parsed = platform::JSONObjectWithData(*body);
  if (!parsed.value || !(parsed.value->is_object() || parsed.value->is_array())) {
    finishAndReport();
    return;
  }
  // a reply of the wrong shape ends without a report
  const json& root = *parsed.value;
  if (!root.is_object()) return setState(OperationState::finished);
  const auto results = root.find("results");
  if (results == root.end() || !results->is_array() || results->empty() || !results->front().is_object())
    return setState(OperationState::finished);
  fill(results->front());
  finishAndReport();
}

void AppMetadataOperation::fill(const json& result) {
  if (auto name = textAt(result, "trackCensoredName")) {
    appData_->setName(std::move(name));
  } else if (auto plain = textAt(result, "trackName")) {
    appData_->setName(std::move(plain));
  }
  if (auto rating = result.find("averageUserRating"); rating != result.end() && rating->is_number()) {
    const double rounded = std::round(rating->get<double>() * 100.0) / 100.0;
    if (std::isfinite(rounded)) appData_->setRating(rounded);
  }
  for (const char* key : {"artworkUrl512", "artworkUrl100", "artworkUrl60"}) {
    if (auto artwork = textAt(result, key)) {
      appData_->setArtworkURL(std::move(artwork));
      break;
    }
  }
}
