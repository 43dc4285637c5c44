#include "platform/foundation/locale.h"

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/timezone.h>
#include <unicode/unistr.h>

#include <memory>

#include "platform/foundation/process.h"

namespace platform {

Locale Locale::current() { return Locale(Process::current().device().profile().localeIdentifier); }

std::vector<std::string> Locale::preferredLanguages() { return Process::current().device().profile().preferredLanguages; }

std::optional<std::string> Locale::regionCode() const {
  icu::Locale l(identifier_.c_str());
  std::string country = l.getCountry();
  if (l.isBogus() || country.empty()) return std::nullopt;
  return country;
}

std::optional<std::string> Locale::localizedStringForRegionCode(const std::string& code) const {
  if (code.empty()) return std::nullopt;
  icu::Locale region(("und_" + code).c_str());
  if (region.isBogus() || std::string(region.getCountry()).empty()) return std::nullopt;
  icu::UnicodeString name;
  region.getDisplayCountry(icu::Locale(identifier_.c_str()), name);
  std::string out;
  name.toUTF8String(out);
  // ICU echoes a code it does not know
  if (out.empty() || out == region.getCountry()) return std::nullopt;
  return out;
}

TimeZone TimeZone::local() { return TimeZone(Process::current().device().profile().timeZone); }

namespace {
icu::DateFormat::EStyle icuStyle(DateFormatter::Style s) {
  switch (s) {
    case DateFormatter::Style::None: return icu::DateFormat::kNone;
    case DateFormatter::Style::Short: return icu::DateFormat::kShort;
    case DateFormatter::Style::Medium: return icu::DateFormat::kMedium;
    case DateFormatter::Style::Long: return icu::DateFormat::kLong;
    case DateFormatter::Style::Full: return icu::DateFormat::kFull;
  }
  return icu::DateFormat::kNone;
}
}  // namespace

std::string DateFormatter::stringFromDate(Date date) const {
  if (dateStyle == Style::None && timeStyle == Style::None) return {};
  std::unique_ptr<icu::DateFormat> f(
      icu::DateFormat::createDateTimeInstance(icuStyle(dateStyle), icuStyle(timeStyle),
                                              icu::Locale(locale.identifier().c_str())));
  if (!f) return {};
  f->adoptTimeZone(icu::TimeZone::createTimeZone(icu::UnicodeString::fromUTF8(timeZone.identifier())));
  icu::UnicodeString text;
  const auto ms = static_cast<UDate>(date.time_since_epoch().count()) / 1000.0;
  f->format(ms, text);
  std::string out;
  text.toUTF8String(out);
  return out;
}

}  // namespace platform
