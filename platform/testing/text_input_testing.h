#pragma once

#include <string>

#include "platform/services/text_view.h"

namespace platform::testing {

// Typing over `range`: the delegate is asked first; only when it agrees is the change applied and
// the caret put after the replacement. Returns the delegate's answer. Main thread only.
bool typeText(UITextView& view, NSRange range, const std::string& replacement);
// A tap that puts the caret at `offset`.
void tapText(UITextView& view, size_t offset);

}  // namespace platform::testing
