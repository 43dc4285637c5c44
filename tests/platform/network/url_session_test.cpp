#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"
#include "platform/network/url_session.h"
#include "platform/testing/loopback_server.h"
#include "platform/testing/collected.h"
#include "platform/testing/sandbox.h"

namespace platform {
namespace {

using testing::LoopbackReply;
using testing::LoopbackRequest;
using testing::LoopbackServer;
using testing::Sandbox;
using Delivery = LoopbackReply::Delivery;
using namespace std::chrono_literals;

struct Outcome {
  std::optional<Bytes> body;
  std::optional<HTTPURLResponse> response;
  std::optional<Error> error;
  bool onMainThread = true;
};

class Completions : public testing::Collected<Outcome> {
 public:
  URLSessionCompletion handler() {
    return [this](std::optional<Bytes> body, std::optional<HTTPURLResponse> response, std::optional<Error> error) {
      add(Outcome{std::move(body), std::move(response), std::move(error), isMainThread()});
    };
  }
};

// Resumes the tasks and pumps the main loop until all have completed and nothing more runs;
// each must have completed exactly once, off the main thread.
std::vector<Outcome> finish(Sandbox& sandbox, Completions& completions,
                            const std::vector<std::shared_ptr<URLSessionDataTask>>& tasks) {
  for (const auto& task : tasks) task->resume();
  EXPECT_TRUE(sandbox.loop().runUntil([&] { return completions.count() >= tasks.size(); }));
  sandbox.loop().runUntilIdle();
  auto outcomes = completions.all();
  EXPECT_EQ(outcomes.size(), tasks.size());
  for (const auto& o : outcomes) EXPECT_FALSE(o.onMainThread);
  return outcomes;
}

Outcome finishOne(Sandbox& sandbox, const std::function<std::shared_ptr<URLSessionDataTask>(URLSessionCompletion)>& make) {
  Completions completions;
  auto outcomes = finish(sandbox, completions, {make(completions.handler())});
  return outcomes.empty() ? Outcome{} : outcomes.front();
}

URLRequest requestFor(const std::string& address) {
  auto url = URL::parse(address);
  EXPECT_TRUE(url.has_value()) << address;
  return URLRequest(url.value_or(*URL::parse("https://invalid.test/")));
}

std::shared_ptr<URLSession> perCallSession(URLSessionConfiguration configuration = {}) {
  return URLSession::sessionWithConfiguration(configuration);
}

Bytes everyByteValue() {
  Bytes b;
  for (int round = 0; round < 3; ++round)
    for (int v = 0; v < 256; ++v) b.push_back(static_cast<std::uint8_t>(v));
  b.insert(b.end(), {0, 0, 0});
  return b;
}

LoopbackReply reply(int status, std::string body, testing::LoopbackHeaders headers = {}) {
  LoopbackReply r;
  r.status = status;
  r.body = toBytes(body);
  r.headers = std::move(headers);
  return r;
}

// A port on 127.0.0.1 where nothing listens.
int closedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

// Members in this order: the server goes first, so replies it holds end before the process
// waits for its transfers.
class URLSessionTransfer : public ::testing::Test {
 protected:
  void SetUp() override { server.installTrust(sandbox.device()); }

  Sandbox sandbox;
  LoopbackServer server;
};

TEST_F(URLSessionTransfer, UploadSendsHeadersInOrderAndBodyByteExactAndReadsTheReply) {
  const Bytes sent = everyByteValue();
  const Bytes answer = everyByteValue();
  server.on("POST", "/data/server/", [&](const LoopbackRequest&) {
    LoopbackReply r;
    r.status = 201;
    r.headers = {{"CDN-Ray-Key", "token-1"}, {"Content-Type", "application/octet-stream"}, {"X-Twice", "a"}, {"x-twice", "b"}};
    r.body = answer;
    return r;
  });

  URLRequest request = requestFor(server.url("/data/server/?a=1&b=%2F"));
  request.HTTPMethod = "POST";
  request.setValueForHTTPHeaderField("application/json", "Content-Type");
  request.setValueForHTTPHeaderField("application/json", "Accept");
  request.setValueForHTTPHeaderField("-", "cdn-ray-key");
  request.setValueForHTTPHeaderField("", "X-Empty");
  request.setValueForHTTPHeaderField("text/plain", "content-type");  // replaces, keeps its place
  request.HTTPBody = toBytes("the upload's body replaces this");

  Outcome o = finishOne(sandbox, [&](URLSessionCompletion c) {
    return perCallSession()->uploadTaskWithRequest(request, sent, std::move(c));
  });

  ASSERT_FALSE(o.error.has_value()) << o.error->localizedDescription;
  ASSERT_TRUE(o.response && o.body);
  EXPECT_EQ(o.response->statusCode(), 201);
  EXPECT_EQ(o.response->valueForHTTPHeaderField("cdn-ray-key"), "token-1");
  EXPECT_EQ(o.response->valueForHTTPHeaderField("CDN-RAY-KEY"), "token-1");
  EXPECT_EQ(o.response->valueForHTTPHeaderField("content-type"), "application/octet-stream");
  EXPECT_EQ(o.response->valueForHTTPHeaderField("X-TWICE"), "a, b");
  EXPECT_EQ(o.response->valueForHTTPHeaderField("X-Missing"), std::nullopt);
  EXPECT_EQ(o.response->url().absoluteString(), request.url.absoluteString());
  EXPECT_EQ(*o.body, answer);

  const auto received = server.requests();
  ASSERT_EQ(received.size(), 1u);
  const LoopbackRequest& r = received[0];
  EXPECT_EQ(r.method, "POST");
  EXPECT_EQ(r.path, "/data/server/");
  EXPECT_EQ(r.query, "a=1&b=%2F");
  EXPECT_EQ(r.body, sent);
  // ours, in our order, among whatever the transport adds (Host, Content-Length)
  testing::LoopbackHeaders ours;
  for (const auto& field : r.headers)
    if (request.valueForHTTPHeaderField(field.first)) ours.push_back(field);
  EXPECT_EQ(ours, (testing::LoopbackHeaders{
                      {"Content-Type", "text/plain"}, {"Accept", "application/json"}, {"cdn-ray-key", "-"}, {"X-Empty", ""}}));
  EXPECT_EQ(r.headerCount("Accept"), 1u);
  EXPECT_EQ(r.header("Content-Length"), std::to_string(sent.size()));
  EXPECT_EQ(r.headerCount("Cookie") + r.headerCount("Expect"), 0u);
}

TEST_F(URLSessionTransfer, SharedSessionDataTaskIsAGetAndAnHTTPStatusIsNoTransferError) {
  struct Case {
    int status;
    std::string body;
  };
  const Case cases[] = {{200, "{\"results\":[]}"}, {404, "not here"}, {500, std::string("x\0y", 3)}, {204, ""}};
  EXPECT_EQ(URLSession::sharedSession(), URLSession::sharedSession());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    server.on("GET", "/lookup", [&](const LoopbackRequest&) { return reply(c.status, c.body); });
    Outcome o = finishOne(sandbox, [&](URLSessionCompletion done) {
      return URLSession::sharedSession()->dataTaskWithRequest(requestFor(server.url("/lookup?id=42")), std::move(done));
    });
    ASSERT_FALSE(o.error.has_value()) << o.error->localizedDescription;
    ASSERT_TRUE(o.response && o.body);  // an empty reply is an empty body, not none
    EXPECT_EQ(o.response->statusCode(), c.status);
    EXPECT_EQ(toString(*o.body), c.body);
  }
  for (const auto& r : server.requests()) {
    EXPECT_EQ(r.method, "GET");
    EXPECT_EQ(r.query, "id=42");
    EXPECT_TRUE(r.body.empty());
  }
}

TEST_F(URLSessionTransfer, TrustsTheLoopbackCertificateByAddressAndByName) {
  server.on("GET", "/", [](const LoopbackRequest&) { return reply(200, "hello"); });
  const std::string port = std::to_string(server.port());
  for (const std::string& address : {"https://127.0.0.1:" + port + "/", "https://localhost:" + port + "/"}) {
    SCOPED_TRACE(address);
    Outcome o = finishOne(sandbox, [&](URLSessionCompletion c) {
      return perCallSession()->dataTaskWithRequest(requestFor(address), std::move(c));
    });
    ASSERT_FALSE(o.error.has_value()) << o.error->localizedDescription;
    EXPECT_EQ(toString(o.body.value_or(Bytes{})), "hello");
  }
}

TEST_F(URLSessionTransfer, AReplyOfExactlyTheCapArrivesWhole) {
  URLSessionConfiguration small;
  small.maximumResponseBodyBytes = 1000;
  for (Delivery delivery : {Delivery::complete, Delivery::streamed}) {
    server.on("GET", "/cap", [&](const LoopbackRequest&) {
      LoopbackReply r;
      r.body = Bytes(1000, 0x5A);
      r.delivery = delivery;
      r.chunkSize = 300;
      return r;
    });
    Outcome o = finishOne(sandbox, [&](URLSessionCompletion c) {
      return perCallSession(small)->dataTaskWithRequest(requestFor(server.url("/cap")), std::move(c));
    });
    ASSERT_FALSE(o.error.has_value()) << o.error->localizedDescription;
    EXPECT_EQ(o.body, Bytes(1000, 0x5A));
  }
}

TEST_F(URLSessionTransfer, TwoTransfersInFlightAtOnceBothComplete) {
  // each reply waits until both requests have arrived: done one after the other, neither would
  for (const char* path : {"/a", "/b"})
    server.on("GET", path, [this, path](const LoopbackRequest&) {
      const bool both = server.waitForRequests(2, 10s);
      return reply(200, std::string(path) + (both ? " with the other" : " alone"));
    });
  Completions completions;
  auto session = perCallSession();
  auto outcomes = finish(sandbox, completions,
                         {session->dataTaskWithRequest(requestFor(server.url("/a")), completions.handler()),
                          perCallSession()->dataTaskWithRequest(requestFor(server.url("/b")), completions.handler())});
  std::vector<std::string> bodies;
  for (const auto& o : outcomes) bodies.push_back(toString(o.body.value_or(Bytes{})));
  std::sort(bodies.begin(), bodies.end());
  EXPECT_EQ(bodies, (std::vector<std::string>{"/a with the other", "/b with the other"}));
}

TEST_F(URLSessionTransfer, ARedirectIsFollowedAsThePlatformDoesAndNoCookieIsKept) {
  server.on("POST", "/old", [](const LoopbackRequest&) {
    return reply(303, "moved", {{"Location", "/new"}, {"Set-Cookie", "session=1"}});
  });
  server.on("GET", "/new", [](const LoopbackRequest&) { return reply(200, "arrived"); });
  URLRequest request = requestFor(server.url("/old"));
  request.HTTPMethod = "POST";
  auto session = URLSession::sharedSession();
  for (int round = 0; round < 2; ++round) {
    Outcome o = finishOne(sandbox, [&](URLSessionCompletion c) {
      return session->uploadTaskWithRequest(request, toBytes("payload"), std::move(c));
    });
    ASSERT_TRUE(o.response.has_value());
    EXPECT_EQ(o.response->statusCode(), 200);
    EXPECT_EQ(o.response->url().path(), "/new");
    EXPECT_EQ(o.response->valueForHTTPHeaderField("Set-Cookie"), std::nullopt);  // the redirect's own headers are gone
    EXPECT_EQ(toString(o.body.value_or(Bytes{})), "arrived");
  }
  const auto received = server.requests();
  ASSERT_EQ(received.size(), 4u);
  for (int i : {0, 2}) EXPECT_EQ(received[static_cast<size_t>(i)].method + received[static_cast<size_t>(i)].path, "POST/old");
  for (int i : {1, 3}) {
    EXPECT_EQ(received[static_cast<size_t>(i)].method + received[static_cast<size_t>(i)].path, "GET/new");
    EXPECT_TRUE(received[static_cast<size_t>(i)].body.empty());
  }
  for (const auto& r : received) EXPECT_EQ(r.header("Cookie"), std::nullopt);
}

TEST_F(URLSessionTransfer, TheBodysOwnLengthIsSentWhateverTheCallerClaims) {
  server.on("PUT", "/put", [](const LoopbackRequest&) { return reply(200, ""); });
  URLRequest request = requestFor(server.url("/put"));
  request.HTTPMethod = "PUT";
  request.setValueForHTTPHeaderField("2", "Content-Length");
  request.HTTPBody = toBytes("0123456789");
  Outcome o = finishOne(sandbox, [&](URLSessionCompletion c) { return perCallSession()->dataTaskWithRequest(request, std::move(c)); });
  ASSERT_FALSE(o.error.has_value()) << o.error->localizedDescription;
  const auto received = server.requests();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].method, "PUT");
  EXPECT_EQ(toString(received[0].body), "0123456789");
  EXPECT_EQ(received[0].headerCount("Content-Length"), 1u);
  EXPECT_EQ(received[0].header("Content-Length"), "10");
}

TEST_F(URLSessionTransfer, ResumingTwiceSendsOnceAndCompletesOnce) {
  server.on("GET", "/once", [](const LoopbackRequest&) { return reply(200, "ok"); });
  Completions completions;
  auto task = perCallSession()->dataTaskWithRequest(requestFor(server.url("/once")), completions.handler());
  task->resume();
  finish(sandbox, completions, {task});
  EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(URLSessionTransfer, ACompletionThatThrowsIsNotCalledAgain) {
  server.on("GET", "/", [](const LoopbackRequest&) { return reply(200, "ok"); });
  std::atomic<int> calls{0};
  auto task = perCallSession()->dataTaskWithRequest(requestFor(server.url("/")), [&](auto, auto, auto) {
    ++calls;
    throw std::runtime_error("completion failed");
  });
  task->resume();
  EXPECT_TRUE(sandbox.loop().runUntil([&] { return calls.load() > 0; }));
  sandbox.loop().runUntilIdle();
  EXPECT_EQ(calls.load(), 1);
}

TEST(URLSessionStop, AServerThatStopsWhileHoldingTheReplyEndsTheTransfer) {
  Sandbox sandbox;
  auto server = std::make_unique<LoopbackServer>();
  server->installTrust(sandbox.device());
  server->on("GET", "/held", [](const LoopbackRequest&) {
    LoopbackReply r;
    r.delivery = Delivery::neverAnswer;
    return r;
  });
  Completions completions;
  auto task = perCallSession()->dataTaskWithRequest(requestFor(server->url("/held")), completions.handler());
  task->resume();
  ASSERT_TRUE(server->waitForRequests(1, 10s));
  server.reset();  // must not wait for the held reply
  EXPECT_TRUE(sandbox.loop().runUntil([&] { return completions.count() > 0; }));
  sandbox.loop().runUntilIdle();
  const auto outcomes = completions.all();
  ASSERT_EQ(outcomes.size(), 1u);
  EXPECT_FALSE(outcomes[0].onMainThread);
  ASSERT_TRUE(outcomes[0].error.has_value());
  EXPECT_EQ(outcomes[0].error->code, NSURLErrorNetworkConnectionLost);
}

TEST(URLSessionStop, ATransferStillWaitingWhenTheProcessEndsIsAbandonedAndNeverCompletes) {
  Sandbox sandbox;
  LoopbackServer server;  // outlives the process: only the process's end may end the transfer
  server.installTrust(sandbox.device());
  server.on("GET", "/held", [](const LoopbackRequest&) {
    LoopbackReply r;
    r.delivery = Delivery::neverAnswer;
    return r;
  });
  auto calls = std::make_shared<std::atomic<int>>(0);
  perCallSession()
      ->dataTaskWithRequest(requestFor(server.url("/held")), [calls](auto, auto, auto) { ++*calls; })
      ->resume();
  ASSERT_TRUE(server.waitForRequests(1, 10s));
  const auto start = std::chrono::steady_clock::now();
  sandbox.endProcess();
  // a transfer's idle limit is 60 s; the end waits for none of it
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(calls->load(), 0);
}

// Every failure ends in one completion with only an error.
struct FailureCase {
  const char* name;
  // Sets up the server and device; returns the request to send.
  std::function<URLRequest(LoopbackServer&, Device&, URLSessionConfiguration&)> arrange;
  std::int64_t code;
  std::string text;
  bool reachesServer;
};

LoopbackReply delivered(Delivery delivery, std::size_t size, std::size_t chunk = 1, std::chrono::milliseconds every = 0ms) {
  LoopbackReply r;
  r.body = Bytes(size, 0x41);
  r.delivery = delivery;
  r.chunkSize = chunk;
  r.chunkInterval = every;
  return r;
}

URLRequest toPath(LoopbackServer& server, const std::string& path, LoopbackReply answer) {
  server.on("GET", path, [answer](const LoopbackRequest&) { return answer; });
  return requestFor(server.url(path));
}

TEST(URLSessionFailure, EachFailureEndsInOneCompletionWithTheErrorOnly) {
  const std::string lost = "The network connection was lost.";
  const std::string tooLarge = "resource exceeds maximum size";
  const std::string timedOut = "The request timed out.";
  const FailureCase cases[] = {
      {"refused connection",
       [](LoopbackServer&, Device&, URLSessionConfiguration&) {
         return requestFor("https://127.0.0.1:" + std::to_string(closedPort()) + "/");
       },
       NSURLErrorCannotConnectToHost, "Could not connect to the server.", false},
      {"no reply within the time-out",
       [](LoopbackServer& s, Device&, URLSessionConfiguration&) {
         URLRequest r = toPath(s, "/silent", delivered(Delivery::neverAnswer, 0));
         r.timeoutInterval = 1.0;  // room for the handshake on a loaded machine
         return r;
       },
       NSURLErrorTimedOut, timedOut, true},
      {"a trickle past the resource time-out",
       [](LoopbackServer& s, Device&, URLSessionConfiguration& c) {
         c.timeoutIntervalForResource = 1.0;  // the trickle alone would take 4 s
         return toPath(s, "/trickle", delivered(Delivery::streamed, 200, 1, 20ms));
       },
       NSURLErrorTimedOut, timedOut, true},
      {"reset mid-body",
       [](LoopbackServer& s, Device&, URLSessionConfiguration&) {
         return toPath(s, "/reset", delivered(Delivery::resetMidBody, 64 * 1024));
       },
       NSURLErrorNetworkConnectionLost, lost, true},
      {"clean close mid-body",
       [](LoopbackServer& s, Device&, URLSessionConfiguration&) {
         return toPath(s, "/short", delivered(Delivery::closeMidBody, 64 * 1024));
       },
       NSURLErrorNetworkConnectionLost, lost, true},
      {"declared length over the cap",
       [](LoopbackServer& s, Device&, URLSessionConfiguration& c) {
         c.maximumResponseBodyBytes = 1000;
         return toPath(s, "/big", delivered(Delivery::complete, 1001));
       },
       NSURLErrorDataLengthExceedsMaximum, tooLarge, true},
      {"undeclared length over the cap",
       [](LoopbackServer& s, Device&, URLSessionConfiguration& c) {
         c.maximumResponseBodyBytes = 1000;
         return toPath(s, "/stream", delivered(Delivery::streamed, 1001, 300));
       },
       NSURLErrorDataLengthExceedsMaximum, tooLarge, true},
      {"server certificate without the extra authority",
       [](LoopbackServer& s, Device& d, URLSessionConfiguration&) {
         d.updateProfile([](DeviceProfile& p) { p.extraCertificateAuthorityFile.reset(); });
         return toPath(s, "/", delivered(Delivery::complete, 1));
       },
       NSURLErrorServerCertificateUntrusted,
       "The certificate for this server is invalid. You might be connecting to a server that is pretending to be "
       "\u201C127.0.0.1\u201D which could put your confidential information at risk.",
       false},
      {"extra authority file missing",
       [](LoopbackServer& s, Device& d, URLSessionConfiguration&) {
         d.updateProfile([&](DeviceProfile& p) { p.extraCertificateAuthorityFile = d.root() / "missing.pem"; });
         return toPath(s, "/", delivered(Delivery::complete, 1));
       },
       NSURLErrorSecureConnectionFailed,
       "An SSL error has occurred and a secure connection to the server cannot be made.", false},
      {"redirect loop",
       [](LoopbackServer& s, Device&, URLSessionConfiguration&) {
         s.on("GET", "/loop", [](const LoopbackRequest&) { return reply(302, "", {{"Location", "/loop"}}); });
         return requestFor(s.url("/loop"));
       },
       NSURLErrorHTTPTooManyRedirects, "too many HTTP redirects", true},
      {"plain HTTP",
       [](LoopbackServer& s, Device&, URLSessionConfiguration&) {
         return requestFor("http://127.0.0.1:" + std::to_string(s.port()) + "/");
       },
       NSURLErrorUnsupportedURL, "unsupported URL", false},
      {"line break in a header value",
       [](LoopbackServer& s, Device&, URLSessionConfiguration&) {
         URLRequest r = toPath(s, "/", delivered(Delivery::complete, 1));
         r.setValueForHTTPHeaderField("x\r\nInjected: yes", "X-Note");
         return r;
       },
       NSURLErrorUnknown, "A header field of the request has an invalid name or a line break in its value.", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    LoopbackServer server;
    server.installTrust(sandbox.device());
    URLSessionConfiguration configuration;
    URLRequest request = c.arrange(server, sandbox.device(), configuration);
    Outcome o = finishOne(sandbox, [&](URLSessionCompletion done) {
      return URLSession::sessionWithConfiguration(configuration)->dataTaskWithRequest(request, std::move(done));
    });
    ASSERT_TRUE(o.error.has_value());
    EXPECT_EQ(o.error->domain, "NSURLErrorDomain");
    EXPECT_EQ(o.error->code, c.code);
    EXPECT_EQ(o.error->localizedDescription, c.text);
    EXPECT_FALSE(o.body.has_value());
    EXPECT_FALSE(o.response.has_value());
    EXPECT_EQ(server.requestCount() > 0, c.reachesServer);
  }
}

}  // namespace
}  // namespace platform
