#include "platform/services/text_view.h"

#include <algorithm>
#include <mutex>

#include "platform/uikit/text_measure.h"

namespace platform {

std::string UITextView::text() const { return toUTF8(text_); }

void UITextView::setText(const std::string& text) {
  mainThreadOnly("UITextView::setText");
  text_ = toUTF16(text);
  setSelectedTextRange({endOfDocument(), endOfDocument()});
}

bool UITextView::becomeFirstResponder() {
  mainThreadOnly("UITextView::becomeFirstResponder");
  firstResponder_ = true;
  return true;
}

std::optional<UITextRange> UITextView::textRangeFromPosition(UITextPosition from, UITextPosition to) const {
  from.offset = std::min(from.offset, text_.size());
  to.offset = std::min(to.offset, text_.size());
  if (to.offset < from.offset) std::swap(from, to);
  return UITextRange{from, to};
}

void UITextView::setSelectedTextRange(UITextRange range) {
  mainThreadOnly("UITextView::setSelectedTextRange");
  range.start.offset = std::min(range.start.offset, text_.size());
  range.end.offset = std::min(std::max(range.end.offset, range.start.offset), text_.size());
  if (range == selection_) return;
  selection_ = range;
  if (auto d = delegate()) d->textViewDidChangeSelection(*this);
}

void UITextView::describeContent(std::vector<std::string>& parts) const {
  UIView::describeContent(parts);
  parts.push_back("\"" + text() + "\"");
}

namespace {

struct Pasteboard {
  std::mutex mutex;
  std::optional<std::string> text;
  UIPasteboard board;
};

}  // namespace

}  // namespace platform

#include "platform/foundation/process.h"

namespace platform {

namespace {

Pasteboard& pasteboard() {
  return *Process::current().shared<Pasteboard>([] { return std::make_shared<Pasteboard>(); });
}

}  // namespace

UIPasteboard& UIPasteboard::generalPasteboard() { return pasteboard().board; }

std::optional<std::string> UIPasteboard::string() const {
  auto& p = pasteboard();
  std::lock_guard lock(p.mutex);
  return p.text;
}

void UIPasteboard::setString(std::optional<std::string> text) {
  auto& p = pasteboard();
  std::lock_guard lock(p.mutex);
  p.text = std::move(text);
}
}  // namespace platform
