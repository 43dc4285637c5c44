#include "platform/network/curl_transfer.h"

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform::network_detail {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr long kMaxRedirects = 16;
constexpr double kDefaultRequestTimeout = 60.0;
constexpr double kDefaultResourceTimeout = 7 * 24 * 3600.0;
constexpr int kMaxPollMilliseconds = 100;

struct CurlEasyDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct CurlMultiDeleter {
  void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};
struct CurlListDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct X509Deleter {
  void operator()(X509* x) const { X509_free(x); }
};
struct BIODeleter {
  void operator()(BIO* b) const { BIO_free(b); }
};
using X509Ptr = std::unique_ptr<X509, X509Deleter>;
using HeaderList = std::unique_ptr<curl_slist, CurlListDeleter>;

bool appendLine(HeaderList& list, const std::string& line) {
  curl_slist* head = curl_slist_append(list.get(), line.c_str());
  if (!head) return false;  // the list is left as it was
  if (head != list.get()) {
    (void)list.release();
    list.reset(head);
  }
  return true;
}

// Once per program, before the first handle. Writes to a peer that has gone must fail with an
// error instead of ending the program: TLS writes go through plain socket writes.
bool curlReady() {
  static const bool ready = [] {
    std::signal(SIGPIPE, SIG_IGN);
    return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  }();
  return ready;
}

bool isToken(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum && std::string_view("!#$%&'*+-.^_`|~").find(c) == std::string_view::npos) return false;
  }
  return true;
}

std::string_view trim(std::string_view s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  const auto e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

Error requestError(std::string text) { return Error{std::string(NSURLErrorDomain), NSURLErrorUnknown, std::move(text)}; }

TransferResult failure(Error error) { return TransferResult{std::nullopt, std::nullopt, std::move(error)}; }

NSURLErrorCode codeFor(CURLcode rc) {
  switch (rc) {
    case CURLE_UNSUPPORTED_PROTOCOL: return NSURLErrorUnsupportedURL;
    case CURLE_URL_MALFORMAT: return NSURLErrorBadURL;
    case CURLE_COULDNT_RESOLVE_HOST: return NSURLErrorCannotFindHost;
    case CURLE_COULDNT_CONNECT: return NSURLErrorCannotConnectToHost;
    case CURLE_OPERATION_TIMEDOUT: return NSURLErrorTimedOut;
    case CURLE_PEER_FAILED_VERIFICATION: return NSURLErrorServerCertificateUntrusted;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_USE_SSL_FAILED:
      return NSURLErrorSecureConnectionFailed;
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
      return NSURLErrorNetworkConnectionLost;
    case CURLE_TOO_MANY_REDIRECTS: return NSURLErrorHTTPTooManyRedirects;
    case CURLE_FILESIZE_EXCEEDED: return NSURLErrorDataLengthExceedsMaximum;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
      return NSURLErrorBadServerResponse;
    default:
      return NSURLErrorUnknown;
  }
}

// Every certificate of a PEM file; none when the file cannot be read or holds none.
std::optional<std::vector<X509Ptr>> loadCertificates(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  std::unique_ptr<BIO, BIODeleter> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  std::vector<X509Ptr> certs;
  while (bio) {
    X509* cert = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr);
    if (!cert) break;
    certs.emplace_back(cert);
  }
  ERR_clear_error();  // the end of the file reads as an error; leave none behind for libcurl
  if (certs.empty()) return std::nullopt;
  return certs;
}

// The system's authorities, read once per program from libcurl's default bundle: libcurl would
// parse the whole bundle again for every connection, which costs more than a loopback exchange.
// None when there is no default bundle; libcurl then loads its defaults itself.
const std::vector<X509Ptr>* systemAuthorities() {
  static const std::optional<std::vector<X509Ptr>> certs = []() -> std::optional<std::vector<X509Ptr>> {
    std::unique_ptr<CURL, CurlEasyDeleter> probe(curl_easy_init());
    char* path = nullptr;
    if (!probe || curl_easy_getinfo(probe.get(), CURLINFO_CAINFO, &path) != CURLE_OK || !path) return std::nullopt;
    return loadCertificates(path);
  }();
  return certs ? &*certs : nullptr;
}

struct Trust {
  const std::vector<X509Ptr>* system = nullptr;  // none: libcurl adds its defaults to the store later
  const std::vector<X509Ptr>* extra = nullptr;
};

// Fills the new connection's own store (libcurl hands each connection a fresh context).
CURLcode installTrust(CURL*, void* sslContext, void* userData) {
  const auto& trust = *static_cast<const Trust*>(userData);
  X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
  if (!store) return CURLE_SSL_CERTPROBLEM;
  for (const auto* certs : {trust.system, trust.extra})
    if (certs)
      for (const auto& cert : *certs) X509_STORE_add_cert(store, cert.get());
  ERR_clear_error();  // a certificate already in the store is no failure
  return CURLE_OK;
}

// What the callbacks collect. They run on the transfer's own thread, inside curl_multi_perform.
struct Reception {
  std::size_t maximumBody = 0;
  Bytes body;
  HTTPHeaderFields headers;
  SteadyClock::time_point lastActivity;
  bool tooLarge = false;
  bool callbackFailed = false;
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto& r = *static_cast<Reception*>(user);
  const std::size_t n = size * count;
  try {
    r.lastActivity = SteadyClock::now();
    if (n > r.maximumBody - r.body.size()) {
      r.tooLarge = true;
      return 0;
    }
    r.body.insert(r.body.end(), data, data + n);
    return n;
  } catch (...) {
    r.callbackFailed = true;
    return 0;
  }
}

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto& r = *static_cast<Reception*>(user);
  const std::size_t n = size * count;
  try {
    r.lastActivity = SteadyClock::now();
    std::string_view line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.starts_with("HTTP/")) {
      // a new response begins (after an interim reply or a redirect): only the last one counts
      r.headers.clear();
      r.body.clear();
    } else if (!line.empty() && (line[0] == ' ' || line[0] == '\t')) {
      if (!r.headers.empty()) r.headers.back().second += " " + std::string(trim(line));
    } else if (const auto colon = line.find(':'); colon != std::string_view::npos && colon > 0) {
      r.headers.emplace_back(std::string(line.substr(0, colon)), std::string(trim(line.substr(colon + 1))));
    }
    return n;
  } catch (...) {
    r.callbackFailed = true;
    return 0;
  }
}

double positiveOr(double value, double fallback) { return (std::isfinite(value) && value > 0) ? value : fallback; }

// Header lines as sent; nothing may break out of its line. The body's length is libcurl's to
// state: a caller's Content-Length or Transfer-Encoding could cut or corrupt the body.
std::optional<Error> buildHeaderLines(const URLRequest& request, HeaderList& lines) {
  bool callerSetExpect = false;
  for (const auto& [name, value] : request.allHTTPHeaderFields) {
    if (!isToken(name) || value.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
      return requestError("A header field of the request has an invalid name or a line break in its value.");
    if (equalsIgnoringASCIICase(name, "Content-Length") || equalsIgnoringASCIICase(name, "Transfer-Encoding")) continue;
    if (equalsIgnoringASCIICase(name, "Expect")) callerSetExpect = true;
    // "Name:" would tell libcurl to drop the field; "Name;" sends it empty
    if (!appendLine(lines, value.empty() ? name + ";" : name + ": " + value)) return makeURLError(NSURLErrorUnknown);
  }
  // no waiting for "100 Continue" before a large body
  if (!callerSetExpect && !appendLine(lines, "Expect:")) return makeURLError(NSURLErrorUnknown);
  return std::nullopt;
}

// One transfer on its own multi handle, driven on the calling thread.
class CurlTransfer {
 public:
  CurlTransfer(const URLRequest& request, const Bytes& body, const URLSessionConfiguration& configuration)
      : request_(request), body_(body), configuration_(configuration), easy_(curl_easy_init()),
        multi_(curl_multi_init()) {
    reception_.maximumBody = configuration.maximumResponseBodyBytes;
  }

  // False when libcurl refuses a setting.
  bool configure(const std::string& method, const HeaderList& headers, const std::vector<X509Ptr>* extraAuthorities) {
    if (!easy_ || !multi_) return false;
    setTransport();
    setTrust(extraAuthorities);
    setReception();
    set(CURLOPT_HTTPHEADER, headers.get());
    setMethod(method);
    return !setupFailed_ && curl_multi_add_handle(multi_.get(), easy_.get()) == CURLM_OK;
  }

  TransferResult run(const std::function<bool()>& abandon) {
    const Ending ending = drive(abandon);
    const auto done = doneResult();
    long status = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status);
    const char* effective = nullptr;
    curl_easy_getinfo(easy_.get(), CURLINFO_EFFECTIVE_URL, &effective);
    std::optional<URL> answered = effective ? URL::parse(effective) : std::nullopt;
    curl_multi_remove_handle(multi_.get(), easy_.get());

    if (ending == Ending::abandoned) {
      TransferResult result = failure(makeURLError(NSURLErrorCancelled));
      result.abandoned = true;
      return result;
    }
    if (ending == Ending::timedOut) return failure(makeURLError(NSURLErrorTimedOut));
    if (reception_.tooLarge) return failure(makeURLError(NSURLErrorDataLengthExceedsMaximum));
    if (ending == Ending::driveFailed || reception_.callbackFailed || !done) return failure(makeURLError(NSURLErrorUnknown));
    if (*done != CURLE_OK) return failure(makeURLError(codeFor(*done), request_.url.host().value_or("")));
    return TransferResult{std::move(reception_.body),
                          HTTPURLResponse(answered.value_or(request_.url), static_cast<int>(status),
                                          std::move(reception_.headers)),
                          std::nullopt};
  }

 private:
  enum class Ending { finished, timedOut, driveFailed, abandoned };

  template <class Value>
  void set(CURLoption option, Value value) {
    if (curl_easy_setopt(easy_.get(), option, value) != CURLE_OK) setupFailed_ = true;
  }

  void setTransport() {
    set(CURLOPT_URL, request_.url.absoluteString().c_str());
    set(CURLOPT_PROTOCOLS_STR, "https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "https");
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, kMaxRedirects);
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_PROXY, "");  // never one from the environment
  }

  void setTrust(const std::vector<X509Ptr>* extraAuthorities) {
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    set(CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    trust_ = Trust{systemAuthorities(), extraAuthorities};
    if (trust_.system) {
      // the store gets the system's authorities from the copy read once, not from libcurl
      set(CURLOPT_CAINFO, static_cast<const char*>(nullptr));
      set(CURLOPT_CAPATH, static_cast<const char*>(nullptr));
    }
    // the store is filled below, so it must be this connection's own, never a cached one
    set(CURLOPT_CA_CACHE_TIMEOUT, 0L);
    set(CURLOPT_SSL_CTX_FUNCTION, &installTrust);
    set(CURLOPT_SSL_CTX_DATA, static_cast<void*>(&trust_));
  }

  void setReception() {
    // a declared length past the cap fails before any of the body is read
    set(CURLOPT_MAXFILESIZE_LARGE,
        static_cast<curl_off_t>(std::min<std::uint64_t>(configuration_.maximumResponseBodyBytes,
                                                        static_cast<std::uint64_t>(std::numeric_limits<curl_off_t>::max()))));
    set(CURLOPT_WRITEFUNCTION, &onBody);
    set(CURLOPT_WRITEDATA, static_cast<void*>(&reception_));
    set(CURLOPT_HEADERFUNCTION, &onHeader);
    set(CURLOPT_HEADERDATA, static_cast<void*>(&reception_));
  }

  void setMethod(const std::string& method) {
    static const char kEmpty[] = "";
    if (method == "HEAD") {
      set(CURLOPT_NOBODY, 1L);
    } else if (method == "GET" && body_.empty()) {
      set(CURLOPT_HTTPGET, 1L);
    } else {
      set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()));
      set(CURLOPT_POSTFIELDS, body_.empty() ? kEmpty : reinterpret_cast<const char*>(body_.data()));
      if (method != "POST") set(CURLOPT_CUSTOMREQUEST, method.c_str());
    }
  }

  // The idle time-out restarts whenever a byte moves; the resource time-out bounds the whole.
  Ending drive(const std::function<bool()>& abandon) {
    const double idleLimit = positiveOr(request_.timeoutInterval, kDefaultRequestTimeout);
    const double totalLimit = positiveOr(configuration_.timeoutIntervalForResource, kDefaultResourceTimeout);
    const auto start = SteadyClock::now();
    reception_.lastActivity = start;
    curl_off_t uploaded = 0;
    for (;;) {
      int running = 0;
      if (curl_multi_perform(multi_.get(), &running) != CURLM_OK) return Ending::driveFailed;
      if (running == 0) return Ending::finished;
      if (abandon && abandon()) return Ending::abandoned;
      curl_off_t up = 0;
      if (curl_easy_getinfo(easy_.get(), CURLINFO_SIZE_UPLOAD_T, &up) == CURLE_OK && up != uploaded) {
        uploaded = up;
        reception_.lastActivity = SteadyClock::now();
      }
      const auto now = SteadyClock::now();
      const double idleLeft = idleLimit - std::chrono::duration<double>(now - reception_.lastActivity).count();
      const double totalLeft = totalLimit - std::chrono::duration<double>(now - start).count();
      const double left = std::min(idleLeft, totalLeft);
      if (left <= 0) return Ending::timedOut;
      // short slices: an abandoned transfer notices within one
      const int waitMs =
          static_cast<int>(std::clamp(std::ceil(left * 1000.0), 1.0, static_cast<double>(kMaxPollMilliseconds)));
      if (curl_multi_poll(multi_.get(), nullptr, 0, waitMs, nullptr) != CURLM_OK) return Ending::driveFailed;
    }
  }

  // libcurl's result for the transfer, when it finished.
  std::optional<CURLcode> doneResult() {
    std::optional<CURLcode> result;
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_.get(), &queued))
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy_.get()) result = msg->data.result;
    return result;
  }

  const URLRequest& request_;
  const Bytes& body_;
  const URLSessionConfiguration& configuration_;
  std::unique_ptr<CURL, CurlEasyDeleter> easy_;
  std::unique_ptr<CURLM, CurlMultiDeleter> multi_;  // declared last of the two: cleaned up first
  Reception reception_;
  Trust trust_;
  bool setupFailed_ = false;
};

}  // namespace

TransferResult performTransfer(const URLRequest& request, const Bytes& body, const URLSessionConfiguration& configuration,
                               const std::optional<std::filesystem::path>& extraCertificateAuthorityFile,
                               const std::function<bool()>& abandon) {
  const URL& url = request.url;
  if (!equalsIgnoringASCIICase(url.scheme(), "https")) return failure(makeURLError(NSURLErrorUnsupportedURL));
  if (url.host().value_or("").empty()) return failure(makeURLError(NSURLErrorBadURL));
  const std::string method = request.HTTPMethod.empty() ? "GET" : request.HTTPMethod;
  if (!isToken(method)) return failure(requestError("The request method is not a valid HTTP method."));

  HeaderList headers;
  if (auto error = buildHeaderLines(request, headers)) return failure(std::move(*error));

  std::optional<std::vector<X509Ptr>> extraAuthorities;
  if (extraCertificateAuthorityFile) {
    extraAuthorities = loadCertificates(*extraCertificateAuthorityFile);
    // a trust setting that cannot be honoured is a failed secure connection, not a silent fallback
    if (!extraAuthorities) return failure(makeURLError(NSURLErrorSecureConnectionFailed));
  }

  if (!curlReady()) return failure(makeURLError(NSURLErrorUnknown));
  CurlTransfer transfer(request, body, configuration);
  if (!transfer.configure(method, headers, extraAuthorities ? &*extraAuthorities : nullptr))
    return failure(makeURLError(NSURLErrorUnknown));
  return transfer.run(abandon);
}

}  // namespace platform::network_detail
