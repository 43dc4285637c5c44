#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/bytes.h"
#include "platform/foundation/device.h"

namespace platform::testing {

using LoopbackHeaders = std::vector<std::pair<std::string, std::string>>;

// One request as the server read it.
struct LoopbackRequest {
  std::string method;
  std::string path;                  // as sent, without the query
  std::optional<std::string> query;  // what follows "?", as sent
  LoopbackHeaders headers;           // in the order received, names as sent
  Bytes body;

  // The first field of that name, in any case.
  std::optional<std::string> header(std::string_view name) const;
  // How many fields of that name, in any case.
  std::size_t headerCount(std::string_view name) const;
};

struct LoopbackReply {
  enum class Delivery {
    complete,       // status, headers and the whole body
    neverAnswer,    // reads the request, then writes nothing until the client leaves or the server stops
    resetMidBody,   // declares the whole length, sends half the body, then resets the connection
    closeMidBody,   // declares the whole length, sends half the body, then closes cleanly
    streamed,       // no declared length: `chunkSize` bytes every `chunkInterval`, then a clean close
  };

  int status = 200;
  LoopbackHeaders headers;
  Bytes body;
  Delivery delivery = Delivery::complete;
  std::size_t chunkSize = 1;
  std::chrono::milliseconds chunkInterval{0};
  // Held this long before anything of the reply goes out (a stop cuts it short).
  std::chrono::milliseconds delay{0};
};

// An HTTPS server on 127.0.0.1 for tests. A fresh self-signed certificate (EC P-256, valid for
// IP 127.0.0.1 and DNS localhost, for two years) is made at start and written as a PEM file (in a
// directory of its own under the temporary directory, or as "loopback-ca.pem" in the directory
// given, replacing what an earlier server left there), which installTrust() makes the device's
// extra certificate authority. Handlers are set per
// method and path; an unmatched request gets 404. Handlers run on the server's threads, so
// what they share with the test must be thread-safe. Every request is recorded before its
// handler runs, unless the server keeps no records (a server left running would grow without end). The destructor stops the server, ending replies that are still held back.
class LoopbackServer {
 public:
  using Handler = std::function<LoopbackReply(const LoopbackRequest&)>;
  // The certificate's name in its directory.
  static constexpr const char* kCertificateFileName = "loopback-ca.pem";

  // On that port of 127.0.0.1, or on any free one for 0; std::runtime_error when it cannot listen
  // or cannot keep its certificate. Without `keepRequests`, requests() stays empty; the count
  // still grows.
  explicit LoopbackServer(int port = 0, std::optional<std::filesystem::path> certificateDirectory = std::nullopt,
                          bool keepRequests = true);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const;
  // "https://127.0.0.1:PORT" followed by `pathAndQuery`.
  std::string url(std::string_view pathAndQuery = "/") const;
  const std::filesystem::path& certificateFile() const;
  void installTrust(Device& device) const;

  // Replaces any handler of the same method and path; safe while serving.
  void on(std::string method, std::string path, Handler handler);

  std::vector<LoopbackRequest> requests() const;
  std::size_t requestCount() const;
  // Waits until at least `count` requests have arrived; false when `limit` passes first.
  bool waitForRequests(std::size_t count, std::chrono::milliseconds limit) const;

  struct State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace platform::testing
