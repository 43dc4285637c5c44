#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The session's script: its steps, read from lines, and the time they may take.
namespace orvane_session {

// One step of a script.
struct Step {
  std::string verb;
  std::string argument;
  std::string text;  // as written, for messages
};

// Clock time a waiting step may take.
constexpr double kStepLimitSeconds = 30.0;

const std::vector<std::string>& defaultScript();
// The steps of the lines; none with the first bad line named in `why` (`where` names the script).
std::optional<std::vector<Step>> parseScript(const std::vector<std::string>& lines, const std::string& where,
                                             std::string& why);
// How long the whole session may take: a minute more than its steps may, a waiting step its limit
// and a wait its own time.
double sessionLimitSeconds(const std::vector<Step>& steps);

// A server number: digits only, from 1; a number too large for the count stays too large.
std::optional<std::size_t> serverNumber(const std::string& s);
// The seconds of a wait step: a number from 0 to 3600.
std::optional<double> waitSeconds(const std::string& s);

// The text with every byte that is not printable ASCII written as \xNN, for messages.
std::string printable(const std::string& text);

}  // namespace orvane_session
