#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/testing/sandbox.h"

namespace fuzzing {

inline std::string text(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// One quiet sandbox for the whole run: a device in a temporary directory and a process on a
// virtual clock, for the readers that need the platform around them.
inline platform::testing::Sandbox& sandbox() {
  static auto* s = [] {
    platform::testing::Sandbox::Options options;
    options.echoConsole = false;
    return new platform::testing::Sandbox(options);
  }();
  return *s;
}

// A property of the reader that must hold: a failure is a finding.
inline void require(bool holds) {
  if (!holds) std::abort();
}

}  // namespace fuzzing
