#include "platform/testing/text_input_testing.h"

#include <algorithm>

#include "platform/uikit/text_measure.h"

namespace platform::testing {

bool typeText(UITextView& view, NSRange range, const std::string& replacement) {
  const auto delegate = view.delegate();
  if (delegate && !delegate->textViewShouldChangeTextInRange(view, range, replacement)) return false;
  auto text = view.utf16Text();
  const size_t at = std::min(range.location, text.size());
  const size_t length = std::min(range.length, text.size() - at);
  const auto inserted = toUTF16(replacement);
  text.replace(at, length, inserted);
  view.setText(toUTF8(text));
  const UITextPosition caret{at + inserted.size()};
  view.setSelectedTextRange({caret, caret});
  return true;
}

void tapText(UITextView& view, size_t offset) { view.setSelectedTextRange({{offset}, {offset}}); }


}  // namespace platform::testing
