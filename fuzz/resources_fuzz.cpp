// The readers of the resources an application ships: a storyboard, an image catalogue, a colour
// catalogue or a bundle's information file, the first byte picking which. Whatever the rest, the
// check returns either what the file holds or why it is broken.
#include "fuzz/fuzz_support.h"
#include "platform/foundation/bundle.h"
#include "platform/uikit/resource_json.h"

namespace {

template <class T>
void requireOneOutcome(const platform::detail::Checked<T>& checked) {
  fuzzing::require(checked.value.has_value() == checked.reason.empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const auto content = fuzzing::text(data + 1, size - 1);
  switch (data[0] % 4) {
    case 0: {
      const auto storyboard = platform::detail::checkStoryboard(content);
      requireOneOutcome(storyboard);
      fuzzing::require(!storyboard.value || *storyboard.value);
      break;
    }
    case 1: requireOneOutcome(platform::detail::checkImageCatalogue(content, "/bundle")); break;
    case 2: requireOneOutcome(platform::detail::checkColorCatalogue(content)); break;
    default: requireOneOutcome(platform::detail::checkBundleInfo(content)); break;
  }
  return 0;
}
