#include "platform/network/url_error.h"

namespace platform {

Error makeURLError(NSURLErrorCode code, std::string_view host) {
  std::string text;
  switch (code) {
    case NSURLErrorBadURL: text = "bad URL"; break;
    case NSURLErrorTimedOut: text = "The request timed out."; break;
    case NSURLErrorUnsupportedURL: text = "unsupported URL"; break;
    case NSURLErrorCannotFindHost: text = "A server with the specified hostname could not be found."; break;
    case NSURLErrorCannotConnectToHost: text = "Could not connect to the server."; break;
    case NSURLErrorNetworkConnectionLost: text = "The network connection was lost."; break;
    case NSURLErrorHTTPTooManyRedirects: text = "too many HTTP redirects"; break;
    case NSURLErrorBadServerResponse: text = "bad server response"; break;
    case NSURLErrorDataLengthExceedsMaximum: text = "resource exceeds maximum size"; break;
    case NSURLErrorSecureConnectionFailed:
      text = "An SSL error has occurred and a secure connection to the server cannot be made.";
      break;
    case NSURLErrorServerCertificateUntrusted:
      text = "The certificate for this server is invalid. You might be connecting to a server that is pretending to be \u201C" +
             std::string(host) + "\u201D which could put your confidential information at risk.";
      break;
    case NSURLErrorUnknown: text = "unknown error"; break;
    case NSURLErrorCancelled: text = "cancelled"; break;
  }
  return Error{std::string(NSURLErrorDomain), code, std::move(text)};
}

}  // namespace platform
