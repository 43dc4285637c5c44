#include "tools/session_script.h"

#include <charconv>
#include <limits>
#include <sstream>

namespace orvane_session {

namespace {

// Beyond what the steps may take: the launch, and the teardown between steps.
constexpr double kSessionMarginSeconds = 60.0;

const std::vector<std::string>& bareVerbs() {
  static const std::vector<std::string> verbs{"wait-home",      "wait-list",         "bring-down", "swipe",
                                              "wait-connected", "wait-disconnected", "picker",     "cancel",
                                              "settings",       "close-settings"};
  return verbs;
}

// One step from its line; none with the reason when it is not a step.
std::optional<Step> parseStep(const std::string& line, std::string& why) {
  std::istringstream in(line);
  Step step;
  step.text = line;
  in >> step.verb;
  in >> step.argument;
  std::string extra;
  if (in >> extra) {
    why = "too many words";
    return std::nullopt;
  }
  for (const auto& verb : bareVerbs()) {
    if (step.verb != verb) continue;
    if (!step.argument.empty()) {
      why = verb + " takes no argument";
      return std::nullopt;
    }
    return step;
  }
  if (step.verb == "pick") {
    if (step.argument == "auto" || step.argument == "other" || serverNumber(step.argument)) return step;
    why = "pick takes a server number from 1, auto or other";
    return std::nullopt;
  }
  if (step.verb == "wait") {
    if (waitSeconds(step.argument)) return step;
    why = "wait takes a number of seconds from 0 to 3600";
    return std::nullopt;
  }
  why = "unknown step \"" + printable(step.verb) + "\"";
  return std::nullopt;
}

}  // namespace

std::optional<std::size_t> serverNumber(const std::string& s) {
  if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  std::size_t n = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
  if (ec == std::errc::result_out_of_range) return std::numeric_limits<std::size_t>::max();
  if (ec != std::errc() || end != s.data() + s.size() || n == 0) return std::nullopt;
  return n;
}

std::optional<double> waitSeconds(const std::string& s) {
  double v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !(v >= 0 && v <= 3600)) return std::nullopt;
  return v;
}

const std::vector<std::string>& defaultScript() {
  static const std::vector<std::string> lines{
      "wait-home", "wait-list",      "bring-down", "swipe",    "wait-connected", "picker",
      "pick other", "wait-connected", "swipe",      "wait-disconnected", "settings", "close-settings"};
  return lines;
}

std::string printable(const std::string& text) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out;
  for (const unsigned char c : text) {
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += digits[c >> 4];
      out += digits[c & 0xF];
    }
  }
  return out;
}

std::optional<std::vector<Step>> parseScript(const std::vector<std::string>& lines, const std::string& where,
                                             std::string& why) {
  std::vector<Step> steps;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto& line = lines[i];
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    std::string reason;
    auto step = parseStep(line.substr(first), reason);
    if (!step) {
      why = where + ":" + std::to_string(i + 1) + ": " + reason;
      return std::nullopt;
    }
    steps.push_back(std::move(*step));
  }
  if (steps.empty()) {
    why = where + " holds no step";
    return std::nullopt;
  }
  return steps;
}

double sessionLimitSeconds(const std::vector<Step>& steps) {
  double limit = kSessionMarginSeconds;
  for (const auto& step : steps) limit += step.verb == "wait" ? *waitSeconds(step.argument) + 1 : kStepLimitSeconds;
  return limit;
}

}  // namespace orvane_session
