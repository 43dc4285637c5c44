#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/bytes.h"
#include "platform/foundation/error.h"
#include "platform/network/url.h"
#include "platform/network/url_error.h"

namespace platform {

// Header fields in the order they were set or received; names keep their case.
using HTTPHeaderFields = std::vector<std::pair<std::string, std::string>>;

struct URLRequest {
  explicit URLRequest(URL url) : url(std::move(url)) {}

  URL url;
  std::string HTTPMethod = "GET";
  HTTPHeaderFields allHTTPHeaderFields;
  Bytes HTTPBody;
  // Seconds the transfer may stay idle (connecting, or no byte moving) before it fails with
  // NSURLErrorTimedOut. Not a positive finite number: the default.
  double timeoutInterval = 60.0;

  // Replaces the value of the field of that name, in any case, where it keeps its place;
  // otherwise appends the field.
  void setValueForHTTPHeaderField(std::string value, std::string field);
  // The first field of that name, in any case.
  std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const;
};

class HTTPURLResponse {
 public:
  HTTPURLResponse(URL url, int statusCode, HTTPHeaderFields headerFields)
      : url_(std::move(url)), statusCode_(statusCode), headerFields_(std::move(headerFields)) {}

  // The address that answered, after any redirect.
  const URL& url() const { return url_; }
  int statusCode() const { return statusCode_; }
  const HTTPHeaderFields& allHeaderFields() const { return headerFields_; }
  // Looked up without regard to case (HTTP/2 sends names in lower case); a field that came
  // more than once gives its values joined by ", ".
  std::optional<std::string> valueForHTTPHeaderField(std::string_view field) const;

 private:
  URL url_;
  int statusCode_;
  HTTPHeaderFields headerFields_;
};

// The default limit of a reply body; what is kept of a reply can be read back within it.
inline constexpr std::size_t kDefaultMaximumResponseBodyBytes = 16 * 1024 * 1024;

struct URLSessionConfiguration {
  static URLSessionConfiguration defaultSessionConfiguration() { return {}; }

  // A reply body longer than this fails with NSURLErrorDataLengthExceedsMaximum.
  std::size_t maximumResponseBodyBytes = kDefaultMaximumResponseBodyBytes;
  // Seconds a whole transfer may take, however busy, like the platform's default of 7 days.
  double timeoutIntervalForResource = 7 * 24 * 3600.0;
};

// Runs exactly once, on a background worker (DispatchQueue::global()), never the main thread.
// Success: the body (empty when the reply had none), the response, no error. Failure: only the
// error. A transfer still running when its process ends is abandoned at once and never completes.
using URLSessionCompletion =
    std::function<void(std::optional<Bytes> body, std::optional<HTTPURLResponse> response, std::optional<Error> error)>;

class URLSessionDataTask {
 public:
  struct Work;
  explicit URLSessionDataTask(std::shared_ptr<Work> work) : work_(std::move(work)) {}

  // Starts the transfer on a background worker; later calls do nothing. A task that is never
  // resumed sends nothing and never completes.
  void resume();

 private:
  std::shared_ptr<Work> work_;
  std::atomic<bool> resumed_{false};
};

// HTTPS only; TLS peer and host always verified against the system's trust store and the
// device profile's extra certificate authority. No cookies, no cache, no proxy. Redirects are
// followed as the platform does (at most 16, HTTPS only; 301, 302 and 303 turn a POST into a
// GET). Each task is independent of the others and of the session's lifetime.
class URLSession {
 public:
  // A session of its own, e.g. for one call.
  static std::shared_ptr<URLSession> sessionWithConfiguration(URLSessionConfiguration configuration);
  // The current process's shared session, with the default configuration.
  static std::shared_ptr<URLSession> sharedSession();

  const URLSessionConfiguration& configuration() const { return configuration_; }

  std::shared_ptr<URLSessionDataTask> dataTaskWithRequest(URLRequest request, URLSessionCompletion completion);
  // Sends `body` in place of the request's own body.
  std::shared_ptr<URLSessionDataTask> uploadTaskWithRequest(URLRequest request, Bytes body,
                                                            URLSessionCompletion completion);

 private:
  explicit URLSession(URLSessionConfiguration configuration) : configuration_(configuration) {}

  URLSessionConfiguration configuration_;
};

}  // namespace platform
