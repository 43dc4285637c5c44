#include "platform/testing/loopback_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include <httplib.h>

#include "platform/foundation/console.h"
#include "platform/foundation/files.h"

namespace platform::testing {

namespace {

using Steady = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Every wait is cut into slices so that a stopping server is noticed at once.
constexpr milliseconds kSlice{20};
// How long one read or write may wait for the client.
constexpr milliseconds kIoLimit{5000};
// How long a kept-alive connection waits for its next request.
constexpr milliseconds kKeepAlive{2000};
constexpr int kMaxRequestsPerConnection = 100;


std::string_view trim(std::string_view s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// The header fields of a raw request head, in order.
LoopbackHeaders parseHeaderBlock(std::string_view raw) {
  LoopbackHeaders headers;
  raw = raw.substr(0, raw.find("\r\n\r\n"));
  const auto firstLineEnd = raw.find("\r\n");
  if (firstLineEnd == std::string_view::npos) return headers;
  raw.remove_prefix(firstLineEnd + 2);
  while (!raw.empty()) {
    const auto end = raw.find("\r\n");
    std::string_view line = raw.substr(0, end);
    raw = end == std::string_view::npos ? std::string_view{} : raw.substr(end + 2);
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    headers.emplace_back(std::string(line.substr(0, colon)), std::string(trim(line.substr(colon + 1))));
  }
  return headers;
}

struct PkeyDeleter {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct X509Deleter {
  void operator()(X509* x) const { X509_free(x); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyDeleter>;
using X509Ptr = std::unique_ptr<X509, X509Deleter>;

PkeyPtr makeKey() {
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr),
                                                                 &EVP_PKEY_CTX_free);
  EVP_PKEY* key = nullptr;
  if (!ctx || EVP_PKEY_keygen_init(ctx.get()) != 1 || EVP_PKEY_CTX_set_group_name(ctx.get(), "P-256") != 1 ||
      EVP_PKEY_generate(ctx.get(), &key) != 1)
    fatalError("loopback server: cannot make a key");
  return PkeyPtr(key);
}

// Long enough that a service left running never sees it expire.
constexpr long kValidSeconds = 2L * 365 * 24 * 3600;

// Self-signed, and its own authority: the device trusts it directly.
X509Ptr makeCertificate(EVP_PKEY* key) {
  X509Ptr cert(X509_new());
  bool ok = cert && X509_set_version(cert.get(), 2) == 1;
  std::unique_ptr<BIGNUM, decltype(&BN_free)> serial(BN_new(), &BN_free);
  ok = ok && serial && BN_rand(serial.get(), 63, BN_RAND_TOP_ONE, BN_RAND_BOTTOM_ANY) == 1 &&
       BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert.get())) != nullptr;
  ok = ok && X509_gmtime_adj(X509_getm_notBefore(cert.get()), -60) && X509_gmtime_adj(X509_getm_notAfter(cert.get()), kValidSeconds);
  ok = ok && X509_set_pubkey(cert.get(), key) == 1;
  X509_NAME* name = ok ? X509_get_subject_name(cert.get()) : nullptr;
  ok = ok && name &&
       X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("OrvaneVPN loopback"),
                                  -1, -1, 0) == 1 &&
       X509_set_issuer_name(cert.get(), name) == 1;
  if (!ok) fatalError("loopback server: cannot fill the certificate");

  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
  // the subject key identifier first: the authority key identifier is taken from it
  const std::pair<int, const char*> extensions[] = {
      {NID_basic_constraints, "critical,CA:TRUE"},
      {NID_key_usage, "critical,digitalSignature,keyCertSign"},
      {NID_ext_key_usage, "serverAuth"},
      {NID_subject_key_identifier, "hash"},
      {NID_authority_key_identifier, "keyid:always"},
      {NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost"},
  };
  for (const auto& [nid, value] : extensions) {
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    const bool added = ext && X509_add_ext(cert.get(), ext, -1) == 1;
    X509_EXTENSION_free(ext);
    if (!added) fatalError("loopback server: cannot add a certificate extension");
  }
  if (X509_sign(cert.get(), key, EVP_sha256()) <= 0) fatalError("loopback server: cannot sign the certificate");
  return cert;
}

std::string toPEM(X509* cert) {
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), &BIO_free);
  if (!bio || PEM_write_bio_X509(bio.get(), cert) != 1) fatalError("loopback server: cannot write the certificate");
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(size));
}

enum class WaitResult { ready, timedOut, stopped, gone };

// Waits for `events` on the socket, in slices, until `limit` passes or the server stops.
WaitResult waitFor(int fd, short events, milliseconds limit, const std::atomic<bool>& stopping) {
  const auto deadline = Steady::now() + limit;
  for (;;) {
    if (stopping.load()) return WaitResult::stopped;
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, static_cast<int>(kSlice.count()));
    if (r < 0 && errno != EINTR) return WaitResult::gone;
    if (r > 0) {
      if (p.revents & events) return WaitResult::ready;
      if (p.revents & (POLLERR | POLLHUP | POLLNVAL)) return WaitResult::gone;
    }
    if (Steady::now() >= deadline) return WaitResult::timedOut;
  }
}

}  // namespace

std::optional<std::string> LoopbackRequest::header(std::string_view name) const {
  for (const auto& [n, v] : headers)
    if (equalsIgnoringASCIICase(n, name)) return v;
  return std::nullopt;
}

std::size_t LoopbackRequest::headerCount(std::string_view name) const {
  std::size_t count = 0;
  for (const auto& field : headers)
    if (equalsIgnoringASCIICase(field.first, name)) ++count;
  return count;
}

class TLSServer;

struct LoopbackServer::State {
  std::atomic<bool> stopping{false};
  std::filesystem::path directory;
  bool ownsDirectory = true;
  std::filesystem::path certificateFile;
  void removeFiles() const {
    std::error_code ec;
    if (ownsDirectory) std::filesystem::remove_all(directory, ec);
    else std::filesystem::remove(certificateFile, ec);
  }
  int port = 0;
  std::unique_ptr<TLSServer> server;
  std::thread listener;

  mutable std::mutex mutex;
  mutable std::condition_variable arrived;
  std::map<std::pair<std::string, std::string>, Handler> handlers;
  bool keepRequests = true;
  std::vector<LoopbackRequest> requests;
  std::size_t arrivals = 0;

  void record(const LoopbackRequest& request) {
    {
      std::lock_guard lock(mutex);
      ++arrivals;
      if (keepRequests) requests.push_back(request);
    }
    arrived.notify_all();
  }
  Handler handlerFor(const std::string& method, const std::string& path) const {
    std::lock_guard lock(mutex);
    auto it = handlers.find({method, path});
    return it == handlers.end() ? Handler{} : it->second;
  }
};

namespace {

// One accepted connection: TLS over a non-blocking socket, every wait cut short by a stop.
class Connection {
 public:
  enum class Ending { none, drop, close, reset };

  Connection(int fd, const std::atomic<bool>& stopping) : fd_(fd), stopping_(stopping) {}
  ~Connection() {
    if (ssl_) {
      if (ending != Ending::reset) {
        ERR_clear_error();
        SSL_shutdown(ssl_);  // one close_notify, not waiting for the client's
      }
      SSL_free(ssl_);
    }
    if (ending == Ending::reset) {
      linger hard{1, 0};  // closing now sends a reset
      ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    ::close(fd_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  int fd() const { return fd_; }
  SSL* ssl() const { return ssl_; }
  const std::atomic<bool>& stoppingFlag() const { return stopping_; }

  bool handshake(SSL_CTX* ctx) {
    const int flags = ::fcntl(fd_, F_GETFL, 0);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) < 0) return false;
    // a reply goes out in several writes: none may wait for the client's delayed acknowledgement
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ssl_ = SSL_new(ctx);
    if (!ssl_ || SSL_set_fd(ssl_, fd_) != 1) return false;
    for (;;) {
      ERR_clear_error();
      const int r = SSL_accept(ssl_);
      if (r == 1) return true;
      if (!waitAfter(r)) return false;
    }
  }

  // A request is there to read, before the keep-alive time passes.
  bool requestPending() {
    return SSL_pending(ssl_) > 0 || waitFor(fd_, POLLIN, kKeepAlive, stopping_) == WaitResult::ready;
  }

  ssize_t read(char* ptr, std::size_t size) {
    if (ending != Ending::none) return -1;
    for (;;) {
      ERR_clear_error();
      const int r = SSL_read(ssl_, ptr, static_cast<int>(std::min<std::size_t>(size, INT_MAX)));
      if (r > 0) {
        keepHead(ptr, static_cast<std::size_t>(r));
        return r;
      }
      if (SSL_get_error(ssl_, r) == SSL_ERROR_ZERO_RETURN) return 0;
      if (!waitAfter(r)) return -1;
    }
  }

  bool writeAll(const char* ptr, std::size_t size) {
    while (size > 0) {
      ERR_clear_error();
      const int r = SSL_write(ssl_, ptr, static_cast<int>(std::min<std::size_t>(size, INT_MAX)));
      if (r > 0) {
        ptr += r;
        size -= static_cast<std::size_t>(r);
        continue;
      }
      if (!waitAfter(r)) return false;
    }
    return true;
  }

  // Holds a request unanswered until the client hangs up or the server stops.
  void holdUntilClientLeaves() {
    while (!stopping_.load()) {
      pollfd p{fd_, POLLRDHUP, 0};
      const int r = ::poll(&p, 1, static_cast<int>(kSlice.count()));
      if (r < 0 && errno != EINTR) return;
      if (r > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL))) return;
    }
  }

  // Sleeps, unless the server stops first.
  bool pause(milliseconds d) {
    const auto end = Steady::now() + d;
    while (Steady::now() < end) {
      if (stopping_.load()) return false;
      std::this_thread::sleep_for(std::min<Steady::duration>(kSlice, end - Steady::now()));
    }
    return !stopping_.load();
  }

  void startRequest() {
    head_.clear();
    headComplete_ = false;
  }
  const std::string& head() const { return head_; }

  Ending ending = Ending::none;

 private:
  // After a TLS call that did not complete: waits for what it needs, false when it failed.
  bool waitAfter(int result) {
    switch (SSL_get_error(ssl_, result)) {
      case SSL_ERROR_WANT_READ: return waitFor(fd_, POLLIN, kIoLimit, stopping_) == WaitResult::ready;
      case SSL_ERROR_WANT_WRITE: return waitFor(fd_, POLLOUT, kIoLimit, stopping_) == WaitResult::ready;
      default: return false;
    }
  }

  // The raw request head, for the header fields in their order (the parsed ones are sorted).
  void keepHead(const char* ptr, std::size_t n) {
    if (headComplete_) return;
    const std::size_t from = head_.size() < 3 ? 0 : head_.size() - 3;
    head_.append(ptr, n);
    headComplete_ = head_.find("\r\n\r\n", from) != std::string::npos;
  }

  int fd_;
  const std::atomic<bool>& stopping_;
  SSL* ssl_ = nullptr;
  std::string head_;
  bool headComplete_ = false;
};

class TLSStream final : public httplib::Stream {
 public:
  explicit TLSStream(Connection& c) : c_(c) {}
  using httplib::Stream::write;

  bool is_readable() const override {
    return SSL_pending(c_.ssl()) > 0 || waitFor(c_.fd(), POLLIN, kIoLimit, stoppingFlag()) == WaitResult::ready;
  }
  bool is_writable() const override {
    return c_.ending == Connection::Ending::none &&
           waitFor(c_.fd(), POLLOUT, kIoLimit, stoppingFlag()) == WaitResult::ready;
  }
  ssize_t read(char* ptr, size_t size) override { return c_.read(ptr, size); }
  ssize_t write(const char* ptr, size_t size) override {
    // once a reply has been taken over (held, cut or streamed), nothing more goes out
    if (c_.ending != Connection::Ending::none) return -1;
    return c_.writeAll(ptr, size) ? static_cast<ssize_t>(size) : -1;
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override { address(::getpeername, ip, port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override { address(::getsockname, ip, port); }
  socket_t socket() const override { return c_.fd(); }

 private:
  const std::atomic<bool>& stoppingFlag() const { return c_.stoppingFlag(); }
  void address(int (*get)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    char text[INET_ADDRSTRLEN] = {};
    if (get(c_.fd(), reinterpret_cast<sockaddr*>(&a), &len) == 0 && a.sin_family == AF_INET &&
        ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text)) {
      ip = text;
      port = ntohs(a.sin_port);
    }
  }

  Connection& c_;
};

// A request held in memory, for the warm-up; what is written goes nowhere.
class MemoryStream final : public httplib::Stream {
 public:
  explicit MemoryStream(std::string_view request) : in_(request) {}
  using httplib::Stream::write;

  bool is_readable() const override { return !in_.empty(); }
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, size_t size) override {
    const std::size_t n = std::min(size, in_.size());
    std::copy_n(in_.data(), n, ptr);
    in_.remove_prefix(n);
    return static_cast<ssize_t>(n);
  }
  ssize_t write(const char*, size_t size) override { return static_cast<ssize_t>(size); }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override { get_remote_ip_and_port(ip, port); }
  socket_t socket() const override { return INVALID_SOCKET; }

 private:
  std::string_view in_;
};

// The connection whose request the current server thread is handling; none in the warm-up.
thread_local Connection* tConnection = nullptr;

std::string replyHead(const LoopbackReply& reply, std::optional<std::size_t> declaredLength) {
  std::string head = "HTTP/1.1 " + std::to_string(reply.status) + (reply.status == 200 ? " OK" : " Reply") + "\r\n";
  for (const auto& [name, value] : reply.headers) head += name + ": " + value + "\r\n";
  if (declaredLength) head += "Content-Length: " + std::to_string(*declaredLength) + "\r\n";
  head += "Connection: close\r\n\r\n";
  return head;
}

}  // namespace

// httplib parses requests and writes complete replies; the connections are ours, so that the
// raw head can be kept and replies can be held, cut or streamed.
class TLSServer final : public httplib::SSLServer {
 public:
  TLSServer(X509* cert, EVP_PKEY* key, LoopbackServer::State& state) : httplib::SSLServer(cert, key), state_(state) {
    auto handler = [this](const httplib::Request& req, httplib::Response& res) { dispatch(req, res); };
    Get(".*", handler);
    Post(".*", handler);
    Put(".*", handler);
    Patch(".*", handler);
    Delete(".*", handler);
    Options(".*", handler);
  }

  // httplib makes some of its tables on first use (function-local statics). ThreadSanitizer
  // cannot see the guard of such a static inside the uninstrumented library, so a first use by
  // one worker and a later use by another that has not synchronised with it reads as a race.
  // Using them once here, before any worker exists, orders the making before every use.
  void warmUp() {
    for (std::string_view request :
         {std::string_view("GET /warm-up?a=1&b=2 HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: */*\r\n\r\n"),
          std::string_view("POST /warm-up HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
                           "Content-Length: 2\r\n\r\n{}")}) {
      MemoryStream stream(request);
      bool closed = false;
      process_request(stream, true, closed, [](httplib::Request&) {});
    }
  }

 private:
  bool process_and_close_socket(socket_t sock) override {
    Connection connection(sock, state_.stopping);
    if (!connection.handshake(ssl_context())) return true;
    TLSStream stream(connection);
    for (int i = 0; i < kMaxRequestsPerConnection && connection.requestPending(); ++i) {
      connection.startRequest();
      bool closed = false;
      tConnection = &connection;
      const bool ok = process_request(stream, false, closed, [&](httplib::Request& req) { req.ssl = connection.ssl(); });
      tConnection = nullptr;
      if (!ok || closed || connection.ending != Connection::Ending::none) break;
    }
    return true;
  }

  void dispatch(const httplib::Request& req, httplib::Response& res) {
    if (!tConnection) {
      res.status = 204;  // the warm-up: not a request of the test
      return;
    }
    Connection& connection = *tConnection;
    LoopbackRequest request;
    request.method = req.method;
    const auto question = req.target.find('?');
    request.path = req.target.substr(0, question);
    if (question != std::string::npos) request.query = req.target.substr(question + 1);
    request.headers = parseHeaderBlock(connection.head());
    request.body = toBytes(req.body);
    state_.record(request);

    LoopbackReply reply;
    reply.status = 404;
    if (auto handler = state_.handlerFor(request.method, request.path)) {
      try {
        reply = handler(request);
      } catch (const std::exception& e) {
        reply = LoopbackReply{};
        reply.status = 500;
        reply.body = toBytes(std::string("handler threw: ") + e.what());
      }
    }

    if (reply.delay.count() > 0 && !connection.pause(reply.delay)) {
      connection.ending = Connection::Ending::drop;
      return;
    }
    using Delivery = LoopbackReply::Delivery;
    switch (reply.delivery) {
      case Delivery::complete:
        res.status = reply.status;
        for (const auto& [name, value] : reply.headers) res.set_header(name, value);
        res.body.assign(reply.body.begin(), reply.body.end());
        return;
      case Delivery::neverAnswer:
        connection.holdUntilClientLeaves();
        connection.ending = Connection::Ending::drop;
        return;
      case Delivery::resetMidBody:
      case Delivery::closeMidBody: {
        const std::string head = replyHead(reply, reply.body.size());
        const std::size_t half = reply.body.size() / 2;
        if (connection.writeAll(head.data(), head.size()))
          connection.writeAll(reinterpret_cast<const char*>(reply.body.data()), half);
        connection.ending =
            reply.delivery == Delivery::resetMidBody ? Connection::Ending::reset : Connection::Ending::close;
        return;
      }
      case Delivery::streamed: {
        const std::string head = replyHead(reply, std::nullopt);
        bool ok = connection.writeAll(head.data(), head.size());
        const std::size_t chunk = std::max<std::size_t>(reply.chunkSize, 1);
        for (std::size_t at = 0; ok && at < reply.body.size(); at += chunk) {
          ok = connection.pause(reply.chunkInterval) &&
               connection.writeAll(reinterpret_cast<const char*>(reply.body.data()) + at,
                                   std::min(chunk, reply.body.size() - at));
        }
        connection.ending = Connection::Ending::close;
        return;
      }
    }
  }

  LoopbackServer::State& state_;
};

namespace {

// A directory of its own under the temporary directory; it goes with the server.
std::filesystem::path makeCertificateDirectory() {
  // a temporary directory the user cannot write to is their setting, not a broken program
  std::error_code ec;
  const auto temporary = std::filesystem::temp_directory_path(ec);
  if (ec) {
    const char* named = std::getenv("TMPDIR");
    throw std::runtime_error(std::string("the temporary directory ") + (named ? named : "") + " cannot be used: " +
                             ec.message());
  }
  std::string tmpl = (temporary / "orvane-loopback-XXXXXX").string();
  if (!::mkdtemp(tmpl.data()))
    throw std::runtime_error("cannot make a directory for the loopback certificate in the temporary directory " +
                             temporary.string() + ": " + std::strerror(errno));
  return tmpl;
}

}  // namespace

LoopbackServer::LoopbackServer(int port, std::optional<std::filesystem::path> certificateDirectory, bool keepRequests)
    : state_(std::make_shared<State>()) {
  state_->keepRequests = keepRequests;
  // a client that hangs up must not end the test program when the server writes
  std::signal(SIGPIPE, SIG_IGN);

  state_->ownsDirectory = !certificateDirectory;
  state_->directory = certificateDirectory ? *certificateDirectory : makeCertificateDirectory();
  state_->certificateFile = state_->directory / kCertificateFileName;

  PkeyPtr key = makeKey();
  X509Ptr cert = makeCertificate(key.get());
  std::string why;
  if (!writeFileAtomically(state_->certificateFile, toPEM(cert.get()), &why)) {
    state_->removeFiles();
    throw std::runtime_error("cannot write the loopback certificate " + state_->certificateFile.string() + ": " + why);
  }

  state_->server = std::make_unique<TLSServer>(cert.get(), key.get(), *state_);
  if (!state_->server->is_valid()) fatalError("loopback server: TLS setup failed");
  state_->server->warmUp();
  // rebinding after a restart is fine; sharing a port another server listens on is not
  state_->server->set_socket_options([](int socket) {
    int yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
  });
  if (port == 0) {
    state_->port = state_->server->bind_to_any_port("127.0.0.1");
  } else {
    state_->port = state_->server->bind_to_port("127.0.0.1", port) ? port : -1;
  }
  if (state_->port <= 0) {
    state_->removeFiles();
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) +
                             " (the port is in use or may not be used)");
  }
  TLSServer* server = state_->server.get();
  state_->listener = std::thread([server] { server->listen_after_bind(); });
  // stop() only works on a running server: wait until it is
  for (int i = 0; i < 5000 && !server->is_running(); ++i) std::this_thread::sleep_for(milliseconds(1));
  if (!server->is_running()) fatalError("loopback server: did not start");
}

LoopbackServer::~LoopbackServer() {
  state_->stopping = true;
  state_->server->stop();
  state_->listener.join();
  state_->server.reset();
  state_->removeFiles();
}

int LoopbackServer::port() const { return state_->port; }

std::string LoopbackServer::url(std::string_view pathAndQuery) const {
  return "https://127.0.0.1:" + std::to_string(state_->port) + std::string(pathAndQuery);
}

const std::filesystem::path& LoopbackServer::certificateFile() const { return state_->certificateFile; }

void LoopbackServer::installTrust(Device& device) const {
  device.updateProfile([&](DeviceProfile& p) { p.extraCertificateAuthorityFile = state_->certificateFile; });
}

void LoopbackServer::on(std::string method, std::string path, Handler handler) {
  std::lock_guard lock(state_->mutex);
  state_->handlers[{std::move(method), std::move(path)}] = std::move(handler);
}

std::vector<LoopbackRequest> LoopbackServer::requests() const {
  std::lock_guard lock(state_->mutex);
  return state_->requests;
}

std::size_t LoopbackServer::requestCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->arrivals;
}

bool LoopbackServer::waitForRequests(std::size_t count, std::chrono::milliseconds limit) const {
  std::unique_lock lock(state_->mutex);
  return state_->arrived.wait_for(lock, limit, [&] { return state_->arrivals >= count; });
}

}  // namespace platform::testing
