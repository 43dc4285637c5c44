#pragma once

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstddef>
#include <string>

namespace bench {

// Set when a benchmark finds its result wrong; the program then ends with a failure.
inline std::atomic<bool> failed{false};

inline void fail(benchmark::State& state, const char* why) {
  failed = true;
  state.SkipWithError(why);
}

// Every key of the system is 32 ASCII characters, so AES-256 is the case that matters.
inline const std::string kKey = "com.orvane.vpn~~~~~~~~~~~~~~~~~~";

// ASCII text of exactly `size` bytes that looks like the JSON the service sends.
inline std::string jsonLikeText(std::size_t size) {
  std::string text;
  text.reserve(size + 64);
  for (int i = 0; text.size() < size; ++i)
    text += "{\"title\":\"Server " + std::to_string(i) + "\",\"address\":\"10.0." + std::to_string(i % 250) +
            ".1\",\"loadPercent\":" + std::to_string(i % 100) + "},";
  text.resize(size);
  return text;
}

}  // namespace bench
