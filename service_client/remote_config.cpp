#include "service_client/remote_config.h"

#include <cmath>

#include "platform/foundation/bytes.h"
#include "platform/foundation/json.h"
#include "platform/foundation/notification_center.h"
#include "platform/foundation/process.h"
#include "platform/foundation/weak_callback.h"
#include "service_client/protocol_literals.h"
#include "service_client/service_exchange.h"
#include "service_client/string_cipher.h"

using nlohmann::json;

std::shared_ptr<QVCtrl> QVCtrl::oneInst() {
  return platform::Process::current().shared<QVCtrl>([] {
    auto made = std::make_shared<QVCtrl>(Token{});
    made->qv_makeCtrl();
    return made;
  });
}

void QVCtrl::qv_getReady() { oneInst(); }

void QVCtrl::qv_makeCtrl() {
  {
    std::lock_guard lock(mutex_);
    if (refreshAll_) return;  // a second timer would tick twice as often
    // The platform's timers all run on the main loop, whichever thread asks for them. The loop
    // holds the timer; the timer must not hold the controller, or neither would ever go.
    refreshAll_ = platform::Timer::scheduledTimer(
        kTickInterval, true,
        platform::whileAlive(weak_from_this(), [](QVCtrl& self, platform::Timer&) { self.qv_refreshStatus(); }));
  }
  platform::DispatchQueue::main().async(platform::whileAlive(weak_from_this(), [](QVCtrl& self) {
    if (auto timer = self.qv_refreshAll()) timer->fire();
  }));
}

std::shared_ptr<platform::Timer> QVCtrl::qv_refreshAll() const {
  std::lock_guard lock(mutex_);
  return refreshAll_;
}

std::optional<platform::Date> QVCtrl::qv_nextAlertDate() const {
  std::lock_guard lock(mutex_);
  return nextAlertDate_;
}

void QVCtrl::qv_refreshStatus() {
  if (inFlight_.load()) return;
  if (const auto last = qv_nextAlertDate()) {
    // absolute: a clock set back must not hold fetching off
    const double since =
        std::fabs(platform::timeIntervalBetween(platform::Process::current().clock().wallNow(), *last));
    if (since <= kRefreshInterval) return;
  }
  bool idle = false;
  if (!inFlight_.compare_exchange_strong(idle, true)) return;  // another tick got there first
  QVServerConnect::qv_createServer(platform::whileAlive(
      weak_from_this(), [](QVCtrl& self, std::optional<platform::Error> error) { self.fetchEnded(error); }));
}

void QVCtrl::fetchEnded(const std::optional<platform::Error>& error) {
  {
    std::lock_guard lock(mutex_);
    const auto now = platform::Process::current().clock().wallNow();
    if (!error) {
      frequency_.store(0);
      nextAlertDate_ = now;
    } else if (frequency_.load() > 1) {
      frequency_.store(0);
      nextAlertDate_ = now;
    } else {
      frequency_.fetch_add(1);
    }
  }
  if (!error) platform::NotificationCenter::defaultCenter().post(kUpdateNotificationName);
  inFlight_.store(false);  // last: a tick that sees it cleared sees the counter and date too
}

void QVServerConnect::qv_createServer(std::function<void(std::optional<platform::Error>)> completion) {
  auto self = oneInst();
  self->_callServer(
      qv_literal::callNew(), std::nullopt,
      [self, completion = std::move(completion)](std::optional<json> result, std::optional<platform::Error> error) {
        if (result && !error) {
          self->setExtsList(result);
          // a payload that is neither text nor bytes leaves the cache as it was
          self->resources1().qv_extend(result);
          self->resources1().qv_load();
        }
        if (completion) completion(std::move(error));
      });
}

std::optional<json> QVServerConnect::hasResponse(const std::optional<std::string>& name) {
  if (!name) return std::nullopt;
  const auto bytes = oneInst()->resources1().qv_list();
  if (!bytes) return std::nullopt;
  const std::string text = platform::toString(*bytes);
  // the lenient decoder would skip stray bytes and decipher a damaged file anyway
  if (!platform::isValidUTF8(text)) return std::nullopt;
  const auto plain = QVExtStore::qv_remove(text, exchangeKey());
  if (!plain) return std::nullopt;
  auto parsed = platform::JSONObjectWithData(*plain);
  if (!parsed.value || !parsed.value->is_object()) return std::nullopt;
  const auto member = parsed.value->find(*name);
  if (member == parsed.value->end()) return std::nullopt;
  return std::move(*member);
}
