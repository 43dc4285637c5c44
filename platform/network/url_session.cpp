#include "platform/network/url_session.h"

#include <algorithm>
#include <exception>

#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"
#include "platform/network/curl_transfer.h"

namespace platform {

void URLRequest::setValueForHTTPHeaderField(std::string value, std::string field) {
  for (auto& [name, current] : allHTTPHeaderFields) {
    if (equalsIgnoringASCIICase(name, field)) {
      current = std::move(value);
      return;
    }
  }
  allHTTPHeaderFields.emplace_back(std::move(field), std::move(value));
}

std::optional<std::string> URLRequest::valueForHTTPHeaderField(std::string_view field) const {
  for (const auto& [name, value] : allHTTPHeaderFields)
    if (equalsIgnoringASCIICase(name, field)) return value;
  return std::nullopt;
}

std::optional<std::string> HTTPURLResponse::valueForHTTPHeaderField(std::string_view field) const {
  std::optional<std::string> joined;
  for (const auto& [name, value] : headerFields_) {
    if (!equalsIgnoringASCIICase(name, field)) continue;
    if (joined) *joined += ", " + value;
    else joined = value;
  }
  return joined;
}

struct URLSessionDataTask::Work {
  URLRequest request;
  Bytes body;
  URLSessionConfiguration configuration;
  URLSessionCompletion completion;
};

void URLSessionDataTask::resume() {
  if (resumed_.exchange(true)) return;
  auto work = std::move(work_);
  // read on the resuming thread: the profile in force when the transfer starts
  Process& process = Process::current();
  auto extraAuthority = process.device().profile().extraCertificateAuthorityFile;
  // the process outlives its background work, so the worker may ask it
  DispatchQueue::global().async([work = std::move(work), extraAuthority = std::move(extraAuthority), &process] {
    network_detail::TransferResult result;
    try {
      result = network_detail::performTransfer(work->request, work->body, work->configuration, extraAuthority,
                                               [&process] { return process.isEnding(); });
    } catch (...) {
      // whatever went wrong inside, the caller still hears exactly once
      result = network_detail::TransferResult{std::nullopt, std::nullopt, makeURLError(NSURLErrorUnknown)};
    }
    // the process is going away: like a phone's, it hears nothing more
    if (result.abandoned) return;
    // taken out first: what the completion holds goes when it has run, and it cannot run twice
    auto completion = std::move(work->completion);
    if (completion) completion(std::move(result.body), std::move(result.response), std::move(result.error));
  });
}

std::shared_ptr<URLSession> URLSession::sessionWithConfiguration(URLSessionConfiguration configuration) {
  return std::shared_ptr<URLSession>(new URLSession(configuration));
}

std::shared_ptr<URLSession> URLSession::sharedSession() {
  return Process::current().shared<URLSession>(
      [] { return std::shared_ptr<URLSession>(new URLSession(URLSessionConfiguration::defaultSessionConfiguration())); });
}

std::shared_ptr<URLSessionDataTask> URLSession::dataTaskWithRequest(URLRequest request, URLSessionCompletion completion) {
  Bytes body = std::move(request.HTTPBody);
  return uploadTaskWithRequest(std::move(request), std::move(body), std::move(completion));
}

std::shared_ptr<URLSessionDataTask> URLSession::uploadTaskWithRequest(URLRequest request, Bytes body,
                                                                      URLSessionCompletion completion) {
  request.HTTPBody.clear();
  auto work = std::make_shared<URLSessionDataTask::Work>(
      URLSessionDataTask::Work{std::move(request), std::move(body), configuration_, std::move(completion)});
  return std::make_shared<URLSessionDataTask>(std::move(work));
}

}  // namespace platform
