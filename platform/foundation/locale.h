#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/time.h"

namespace platform {

class Locale {
 public:
  explicit Locale(std::string identifier) : identifier_(std::move(identifier)) {}
  // The user's current locale, from the device profile.
  static Locale current();
  // The device's preferred languages, most preferred first.
  static std::vector<std::string> preferredLanguages();

  const std::string& identifier() const { return identifier_; }
  // None when the locale names no region.
  std::optional<std::string> regionCode() const;
  // The region's name in this locale's language; none for a code that names no region.
  std::optional<std::string> localizedStringForRegionCode(const std::string& code) const;

 private:
  std::string identifier_;
};

class TimeZone {
 public:
  explicit TimeZone(std::string identifier) : identifier_(std::move(identifier)) {}
  // The device's time zone.
  static TimeZone local();
  const std::string& identifier() const { return identifier_; }

 private:
  std::string identifier_;
};

class DateFormatter {
 public:
  enum class Style { None, Short, Medium, Long, Full };

  Locale locale = Locale::current();
  TimeZone timeZone = TimeZone::local();
  Style dateStyle = Style::None;
  Style timeStyle = Style::None;

  std::string stringFromDate(Date date) const;
};

}  // namespace platform
