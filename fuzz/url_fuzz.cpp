// URLs: a parsed URL reads back as itself, and any component appends to a URL that parses.
#include "fuzz/fuzz_support.h"
#include "platform/network/url.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input = fuzzing::text(data, size);
  if (auto url = platform::URL::parse(input)) {
    fuzzing::require(platform::URL::parse(url->absoluteString()) == url);
    const auto joined = url->appendingPathComponent(input);
    fuzzing::require(platform::URL::parse(joined.absoluteString()).has_value());
  }
  static const auto base = platform::URL::parse("https://h/p?q=1");
  const auto joined = base->appendingPathComponent(input);
  fuzzing::require(platform::URL::parse(joined.absoluteString()) == joined);
  return 0;
}
