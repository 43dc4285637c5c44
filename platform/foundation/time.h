#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace platform {

// Monotonic time is a count of microseconds since the clock started: exact, so 0.3 s + 0.2 s is 0.5 s.
using Duration = std::chrono::microseconds;
// A moment on the wall clock (dates such as "last success").
using Date = std::chrono::time_point<std::chrono::system_clock, std::chrono::microseconds>;

Duration seconds(double s);
double toSeconds(Duration d);
// a - b in seconds.
double timeIntervalBetween(Date a, Date b);

class Clock {
 public:
  virtual ~Clock() = default;
  virtual Duration now() const = 0;
  virtual Date wallNow() const = 0;
  virtual bool isVirtual() const = 0;
};

class RealClock final : public Clock {
 public:
  RealClock();
  Duration now() const override;
  Date wallNow() const override;
  bool isVirtual() const override { return false; }

 private:
  std::chrono::steady_clock::time_point start_;
};

// Test clock: moves only when the run loop (or a test) moves it.
class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(Date wallStart = Date(std::chrono::seconds(1'780'000'000)));
  Duration now() const override { return Duration(now_.load()); }
  Date wallNow() const override;
  bool isVirtual() const override { return true; }

  void advanceTo(Duration t);  // never moves backwards
  // Sets the wall clock without touching monotonic time ("clock set back").
  void setWallTime(Date d);

 private:
  std::atomic<std::int64_t> now_{0};
  std::atomic<std::int64_t> wallOffset_;  // wall = wallOffset_ + now_, in microseconds since the epoch
};

}  // namespace platform
