#pragma once

#include <cstdint>
#include <string>

namespace platform {

// A failure as the platform reports it: a domain, a code and a text for people.
struct Error {
  std::string domain;
  std::int64_t code = 0;
  std::string localizedDescription;

  bool operator==(const Error&) const = default;
};

}  // namespace platform
