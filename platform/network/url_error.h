#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/foundation/error.h"

namespace platform {

inline constexpr std::string_view NSURLErrorDomain = "NSURLErrorDomain";

// The platform's transfer error codes that this stand-in reports.
enum NSURLErrorCode : std::int64_t {
  NSURLErrorUnknown = -1,
  NSURLErrorCancelled = -999,
  NSURLErrorBadURL = -1000,
  NSURLErrorTimedOut = -1001,
  NSURLErrorUnsupportedURL = -1002,
  NSURLErrorCannotFindHost = -1003,
  NSURLErrorCannotConnectToHost = -1004,
  NSURLErrorNetworkConnectionLost = -1005,
  NSURLErrorHTTPTooManyRedirects = -1007,
  NSURLErrorBadServerResponse = -1011,
  NSURLErrorDataLengthExceedsMaximum = -1103,
  NSURLErrorSecureConnectionFailed = -1200,
  NSURLErrorServerCertificateUntrusted = -1202,
};

// An error of the domain with the platform's text for the code. `host` fills the text of an
// untrusted certificate, which names the server.
Error makeURLError(NSURLErrorCode code, std::string_view host = {});

}  // namespace platform
