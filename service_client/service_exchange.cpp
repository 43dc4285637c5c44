#include "service_client/service_exchange.h"

#include "platform/foundation/bundle.h"
#include "platform/foundation/json.h"
#include "platform/foundation/process.h"
#include "platform/foundation/queues.h"
#include "platform/network/url_error.h"
#include "platform/network/url_session.h"
#include "service_client/exchange_key.h"
#include "service_client/protocol_literals.h"
#include "service_client/string_cipher.h"

using nlohmann::json;
using platform::Bundle;
using platform::Bytes;
using platform::Error;

platform::Error exchangeError() { return Error{qv_literal::errorDomain(), 0, ""}; }

namespace {

// A token that cannot travel in a header field is not sent.
bool fitsInHeader(const std::string& value) {
  return value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

std::optional<std::string> serviceURL() {
  const auto host = Bundle::main()->infoString(kServiceHostInfoKey);
  if (!host) return std::nullopt;
  std::string prefix = qv_literal::urlPrefixFormat();
  const auto placeholder = prefix.find("%@");
  prefix.replace(placeholder, 2, qv_literal::hostWithData(*host));
  return prefix + qv_literal::serverComponent();
}

void failOnBackground(QVCompletion onComplete, Error error) {
  if (!onComplete) return;
  platform::DispatchQueue::global().async([onComplete = std::move(onComplete), error = std::move(error)] {
    onComplete(std::nullopt, error);
  });
}

}  // namespace

std::shared_ptr<QVServerConnect> QVServerConnect::oneInst() {
  return platform::Process::current().shared<QVServerConnect>([] { return std::make_shared<QVServerConnect>(); });
}

QVServerConnect::QVServerConnect() : resources1_(std::make_unique<AFL_PREFIXDevice>()) {
  resources1_->qv_count();
  extKey_ = stKey_.get(qv_literal::index());
}

std::string QVServerConnect::exchangeKey() { return exchangeKeyFor(Bundle::main()->bundleIdentifier()); }

void QVServerConnect::qv_callNow(const std::optional<std::string>& callName, const std::optional<json>& params,
                                 QVCompletion onComplete) {
  oneInst()->_callServer(callName, params, std::move(onComplete));
}

std::optional<std::string> QVServerConnect::neExtKey() {
  auto self = oneInst();
  std::lock_guard lock(self->mutex_);
  return self->extKey_;
}

void QVServerConnect::resExtKey(const json& value) {
  if (!value.is_string()) return;
  const auto& text = value.get_ref<const std::string&>();
  // an empty text is no identifier: it never replaces one
  if (text.empty()) return;
  auto self = oneInst();
  std::lock_guard lock(self->mutex_);  // field and keychain item change together
  if (self->extKey_ == text) return;
  self->extKey_ = text;
  self->stKey_.set(qv_literal::index(), text);
}

std::optional<std::string> QVServerConnect::getExtRaw() { return oneInst()->stKey_.get(qv_literal::tag1()); }

void QVServerConnect::resetExtsAll(const json& value) {
  if (!value.is_string()) return;
  oneInst()->stKey_.set(qv_literal::tag1(), value.get_ref<const std::string&>());
}

void QVServerConnect::setExts(std::string value) {
  auto self = oneInst();
  std::lock_guard lock(self->mutex_);
  self->esList_ = std::move(value);
}

std::optional<json> QVServerConnect::extsList() const {
  std::lock_guard lock(mutex_);
  return extsList_;
}

void QVServerConnect::setExtsList(std::optional<json> value) {
  std::lock_guard lock(mutex_);
  extsList_ = std::move(value);
}

void QVServerConnect::_callServer(const std::optional<std::string>& callName, const std::optional<json>& params,
                                  QVCompletion onComplete) {
  auto session = platform::URLSession::sessionWithConfiguration(
      platform::URLSessionConfiguration::defaultSessionConfiguration());

  const auto address = serviceURL();
  const auto url = address ? platform::URL::parse(*address) : std::nullopt;
  std::optional<platform::URLRequest> request;
  if (url) {
    request.emplace(*url);
    request->setValueForHTTPHeaderField(qv_literal::applicationJSON(), qv_literal::contentType());
    request->setValueForHTTPHeaderField(qv_literal::applicationJSON(), qv_literal::accept());
    const auto token = getExtRaw();
    request->setValueForHTTPHeaderField(token && fitsInHeader(*token) ? *token : "-", qv_literal::cdnRayKey());
    request->HTTPMethod = qv_literal::post();
  }

  const auto bundle = Bundle::main();
  json envelope = json::object();
  if (auto id = bundle->bundleIdentifier()) envelope[qv_literal::bb()] = *id;
  envelope[qv_literal::system()] = "ios";
  if (auto v = bundle->infoString(qv_literal::shortVersionKey())) envelope[qv_literal::version()] = *v;
  if (auto in = neExtKey()) envelope[qv_literal::in()] = *in;

  json parameters = callNext();
  if (params && params->is_object())
    for (const auto& [name, value] : params->items()) parameters[name] = value;

  if (!callName) {
    if (onComplete) onComplete(std::nullopt, exchangeError());
    return;
  }
  parameters[qv_literal::c1()] = *callName;

  const std::string key = exchangeKey();
  std::string body;
  try {
    envelope[qv_literal::data()] = QVExtStore::qv_add(platform::JSONDataWithObject(parameters), key);
    body = platform::JSONDataWithObject(envelope);
  } catch (const json::exception&) {
    failOnBackground(std::move(onComplete), exchangeError());
    return;
  }

  const bool tunnelUpAtRequest = isLoading();
  if (!request) {
    failOnBackground(std::move(onComplete),
                     Error{std::string(platform::NSURLErrorDomain), platform::NSURLErrorBadURL, "unsupported URL"});
    return;
  }

  auto self = oneInst();
  auto task = session->uploadTaskWithRequest(
      std::move(*request), platform::toBytes(body),
      [self, name = *callName, tunnelUpAtRequest, onComplete = std::move(onComplete)](
          std::optional<Bytes> replyBody, std::optional<platform::HTTPURLResponse> response,
          std::optional<Error> error) {
        std::optional<std::string> token;
        if (response) token = response->valueForHTTPHeaderField(qv_literal::cdnRayKey());
        self->handleReply(name, tunnelUpAtRequest, replyBody, token, error, onComplete);
      });
  task->resume();
}

void QVServerConnect::handleReply(const std::string& callName, bool tunnelUpAtRequest,
                                  const std::optional<Bytes>& body, const std::optional<std::string>& token,
                                  const std::optional<Error>& transferError, const QVCompletion& onComplete) {
  auto complete = [&](std::optional<json> result, std::optional<Error> error) {
    if (onComplete) onComplete(std::move(result), std::move(error));
  };
  if (transferError) return complete(std::nullopt, transferError);

  const std::string text = body ? platform::toString(*body) : std::string();
  if (!platform::isValidUTF8(text)) return complete(std::nullopt, exchangeError());

  auto parsed = platform::JSONObjectWithData(text);
  if (!parsed.value) return complete(std::nullopt, parsed.error);
  const json& reply = *parsed.value;
  if (!reply.is_object()) return complete(std::nullopt, exchangeError());

  if (auto in = reply.find(qv_literal::in()); in != reply.end()) {
    resExtKey(*in);
    if (!tunnelUpAtRequest && token) resetExtsAll(*token);
  }

  const auto rp = reply.find(qv_literal::rp());
  if (rp == reply.end()) return complete(std::nullopt, std::nullopt);
  if (!rp->is_string()) return complete(std::nullopt, exchangeError());
  if (callName == qv_literal::callNew()) return complete(*rp, std::nullopt);

  const auto plain = QVExtStore::qv_remove(rp->get<std::string>(), exchangeKey());
  if (!plain) return complete(std::nullopt, exchangeError());
  auto result = platform::JSONObjectWithData(*plain);
  if (!result.value) return complete(std::nullopt, result.error);
  complete(std::move(result.value), std::nullopt);
}
