#include "platform/foundation/time.h"

#include <cmath>

namespace platform {

Duration seconds(double s) { return Duration(std::llround(s * 1e6)); }

double toSeconds(Duration d) { return static_cast<double>(d.count()) / 1e6; }

double timeIntervalBetween(Date a, Date b) { return toSeconds(a - b); }

RealClock::RealClock() : start_(std::chrono::steady_clock::now()) {}

Duration RealClock::now() const {
  return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now() - start_);
}

Date RealClock::wallNow() const {
  return std::chrono::time_point_cast<Duration>(std::chrono::system_clock::now());
}

VirtualClock::VirtualClock(Date wallStart) : wallOffset_(wallStart.time_since_epoch().count()) {}

Date VirtualClock::wallNow() const { return Date(Duration(wallOffset_.load() + now_.load())); }

void VirtualClock::advanceTo(Duration t) {
  std::int64_t cur = now_.load();
  while (t.count() > cur && !now_.compare_exchange_weak(cur, t.count())) {
  }
}

void VirtualClock::setWallTime(Date d) { wallOffset_.store(d.time_since_epoch().count() - now_.load()); }

}  // namespace platform
