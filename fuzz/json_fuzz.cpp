// JSON at the platform's boundary: whatever it takes, it writes back and reads again the same.
#include "fuzz/fuzz_support.h"
#include "platform/foundation/json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto read = platform::JSONObjectWithData(fuzzing::text(data, size));
  fuzzing::require(read.value.has_value() != read.error.has_value());
  if (read.value) {
    const auto again = platform::JSONObjectWithData(platform::JSONDataWithObject(*read.value));
    fuzzing::require(again.value && *again.value == *read.value);
  }
  return 0;
}
